#include "winlayer/base/obj.h"

#include <cstdlib>

#include "winlayer/base/allocation.h"
#include "winlayer/base/obj_list.h"

namespace {
int32_t liveObjects = 0;
}

Obj::Obj() { ++liveObjects; }

Obj::~Obj() { --liveObjects; }

int32_t Obj::LiveCount() { return liveObjects; }

void* Obj::operator new(size_t size, const std::nothrow_t&) noexcept { return AllocateBytes(size); }

void Obj::operator delete(void* block) noexcept { std::free(block); }

void Obj::operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }

void Obj::RunFinalSteps()
{
    Event<void(Obj*)> event = DestroyEvent;
    DestroyEvent = {};
    if (event)
        event(this);
    // A released object may edit this list (a control leaves its parent's
    // list), so always take whatever pair is last right now.
    while (OwnedList && OwnedList->Count > 0) {
        int32_t last = OwnedList->Count - 2;
        auto routine = reinterpret_cast<ReleaseRoutine>(OwnedList->Item(last));
        Obj* owned = static_cast<Obj*>(OwnedList->Item(last + 1));
        OwnedList->DeleteRange(last, 2);
        if (routine)
            routine(owned);
    }
    ObjList* list = OwnedList;
    OwnedList = nullptr;
    Release(list);
}

void Obj::Destroy()
{
    RunFinalSteps();
    delete this;
}

void AddRef(Obj* obj)
{
    if (obj)
        obj->RefCount += 2;
}

void Release(Obj* obj)
{
    if (!obj)
        return;
    obj->RefCount -= 2;
    if (obj->RefCount < 0)
        obj->Destroy();
}

void AddOwned(Obj* owner, Obj* obj)
{
    if (!owner->OwnedList)
        owner->OwnedList = CreateList();
    // Without memory for the list the object stays the caller's to release.
    if (!owner->OwnedList)
        return;
    // Newest pair first, so the teardown, taking pairs from the end, releases
    // the oldest first.
    owner->OwnedList->Insert(0, obj);
    owner->OwnedList->Insert(0, reinterpret_cast<void*>(&Release));
}

void RemoveOwned(Obj* owner, Obj* obj)
{
    ObjList* list = owner->OwnedList;
    if (!list)
        return;
    int32_t index = list->IndexOf(obj);
    if (index < 0)
        return;
    list->DeleteRange(index & ~1, 2);
    if (list->Count == 0) {
        owner->OwnedList = nullptr;
        Release(list);
    }
}
