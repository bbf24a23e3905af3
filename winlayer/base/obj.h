// The object base of the window layer: reference counting in steps of two,
// a destroy event and a list of owned objects released with their owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

// An event is a (code, context) pair. The code is called with the context
// first, the sender second, then the event's own arguments.
template <typename Signature>
struct Event;

template <typename R, typename Sender, typename... Args>
struct Event<R(Sender*, Args...)> {
    using Routine = R (*)(void* context, Sender* sender, Args... args);

    Routine Code = nullptr;
    void* Context = nullptr;

    explicit operator bool() const { return Code != nullptr; }
    R operator()(Sender* sender, Args... args) const { return Code(Context, sender, args...); }
};

class ObjList;

// Base of every reference-counted object. Objects are made with Create<T>()
// and end with Release(); the destructor is protected so nothing else can.
class Obj {
public:
    Obj();
    Obj(const Obj&) = delete;
    Obj& operator=(const Obj&) = delete;

    // Slot 0: called by Create<T>() right after construction.
    virtual void Init() {}
    // Slot 1: a type's teardown; its last step is Obj::Destroy(), which runs
    // the final steps and frees the object.
    virtual void Destroy();

    // Starts at 0 and moves in steps of 2: a fresh object dies at its first
    // Release, and an AddRef/Release bracket keeps it alive across a call.
    int32_t RefCount = 0;
    Event<void(Obj*)> DestroyEvent;
    // Pairs (release routine, object), most recently owned first.
    ObjList* OwnedList = nullptr;

    // Objects alive in the process: lets tests prove that cycles leak nothing.
    static int32_t LiveCount();

    // Objects come from the layer's allocation (allocation.h), which answers
    // none instead of throwing when the memory cannot be had.
    static void* operator new(size_t size, const std::nothrow_t&) noexcept;
    static void operator delete(void* block) noexcept;
    static void operator delete(void* block, const std::nothrow_t&) noexcept;

protected:
    virtual ~Obj();
    // DestroyEvent, then the owned objects oldest first, then the list itself.
    // The control teardown runs these early; running them twice is harmless.
    void RunFinalSteps();
};

using ReleaseRoutine = void (*)(Obj*);

void AddRef(Obj* obj);
// Null-safe; destroys the object once its count falls below zero.
void Release(Obj* obj);

// None when the memory cannot be had, or when a type with a Complete()
// query could not make a part it needs: every caller gives up what it was
// making, and nothing throws.
template <typename T, typename... Args>
T* Create(Args&&... args)
{
    T* obj = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!obj)
        return nullptr;
    obj->Init();
    if constexpr (requires(const T& made) { made.Complete(); }) {
        if (!obj->Complete()) {
            Release(obj);
            return nullptr;
        }
    }
    return obj;
}

// The owner releases obj when it is destroyed, in the order ownership was taken.
void AddOwned(Obj* owner, Obj* obj);
void RemoveOwned(Obj* owner, Obj* obj);
