// The DLL's own operator new and delete, straight onto the C run-time heap.
// The run-time library's versions are built to throw std::bad_alloc, and
// linking them brings in the whole exception machinery (throw, personality
// routine, unwinder, terminate handler with its demangler): most of the DLL.
// The plug-in's code is built without exceptions and allocates whatever may
// fail with new (std::nothrow), which here is a plain malloc. The throwing
// form has nobody to throw to: it ends the process as an uncaught bad_alloc
// would have, rather than hand a constructor a null pointer.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }

void* operator new(std::size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block)
        std::abort();
    return block;
}
void* operator new[](std::size_t size) { return operator new(size); }

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
