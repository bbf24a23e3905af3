// A growable list of pointer-sized entries, itself an object.
#pragma once

#include <cstdint>

#include "winlayer/base/obj.h"

class ObjList : public Obj {
public:
    void** Items = nullptr;
    int32_t Count = 0;
    int32_t Capacity = 0;
    // Entries added when the list is full; 0 grows by a quarter of the count plus one.
    int32_t GrowthStep = 0;

    // Out of memory leaves the list unchanged.
    void Add(void* item);
    // 0 <= index <= Count; entries from index on move one place up.
    void Insert(int32_t index, void* item);
    void Delete(int32_t index) { DeleteRange(index, 1); }
    // Nothing when n <= 0 or index >= Count; n is cut to what the list holds.
    // The capacity stays.
    void DeleteRange(int32_t index, int32_t n);
    int32_t IndexOf(const void* item) const;
    void Remove(const void* item);
    // Null for an index out of range.
    void* Item(int32_t index) const;
    // Never below Count.
    void SetCapacity(int32_t n);
    void Clear();

    void Destroy() override;

protected:
    ~ObjList() override = default;
};

// A list that grows four entries at a time, as every list of the layer does.
// None when the memory cannot be had.
ObjList* CreateList();
