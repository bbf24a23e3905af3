#include "winlayer/base/obj_list.h"

#include <cstdlib>
#include <cstring>

#include "winlayer/base/allocation.h"

void ObjList::Add(void* item)
{
    int32_t index = Count;
    if (index >= Capacity) {
        SetCapacity(index + (GrowthStep != 0 ? GrowthStep : index / 4 + 1));
        if (index >= Capacity)
            return;  // out of memory: the list stays as it was
    }
    Count = index + 1;
    Items[index] = item;
}

void ObjList::Insert(int32_t index, void* item)
{
    if (index < 0 || index > Count)
        return;
    int32_t before = Count;
    Add(nullptr);
    if (Count == before)
        return;
    std::memmove(Items + index + 1, Items + index, sizeof(void*) * (Count - 1 - index));
    Items[index] = item;
}

void ObjList::DeleteRange(int32_t index, int32_t n)
{
    if (n <= 0 || index < 0 || index >= Count)
        return;
    if (n > Count - index)
        n = Count - index;
    std::memmove(Items + index, Items + index + n, sizeof(void*) * (Count - index - n));
    Count -= n;
}

int32_t ObjList::IndexOf(const void* item) const
{
    for (int32_t i = 0; i < Count; ++i)
        if (Items[i] == item)
            return i;
    return -1;
}

void ObjList::Remove(const void* item)
{
    int32_t index = IndexOf(item);
    if (index >= 0)
        Delete(index);
}

void* ObjList::Item(int32_t index) const
{
    if (index < 0 || index >= Count)
        return nullptr;
    return Items[index];
}

void ObjList::SetCapacity(int32_t n)
{
    if (n < Count)
        n = Count;
    if (n == Capacity)
        return;
    void* grown = ResizeBytes(Items, sizeof(void*) * static_cast<size_t>(n > 0 ? n : 1));
    if (!grown)
        return;  // the old entries stay valid; the caller sees the capacity unchanged
    Items = static_cast<void**>(grown);
    Capacity = n;
}

void ObjList::Clear()
{
    std::free(Items);
    Items = nullptr;
    Count = 0;
    Capacity = 0;
}

void ObjList::Destroy()
{
    Clear();
    Obj::Destroy();
}

ObjList* CreateList()
{
    ObjList* list = Create<ObjList>();
    if (list)
        list->GrowthStep = 4;
    return list;
}
