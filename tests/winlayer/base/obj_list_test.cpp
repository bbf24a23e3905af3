// Growth, bounds and editing of the growable list.
#include "winlayer/base/obj_list.h"

#include <gtest/gtest.h>

namespace {

void* P(intptr_t n) { return reinterpret_cast<void*>(n); }

struct ListTest : testing::Test {
    ObjList* list = CreateList();
    ~ListTest() override { Release(list); }
    void Fill(int n)
    {
        for (int i = 1; i <= n; ++i)
            list->Add(P(i));
    }
};

TEST_F(ListTest, GrowsFourEntriesAtATime)
{
    EXPECT_EQ(list->GrowthStep, 4);
    Fill(5);
    EXPECT_EQ(list->Count, 5);
    EXPECT_EQ(list->Capacity, 8);
    list->DeleteRange(0, 5);
    EXPECT_EQ(list->Capacity, 8);  // never shrinks on delete
}

TEST(ObjList, GrowthStepZeroGrowsByAQuarterPlusOne)
{
    ObjList* list = Create<ObjList>();
    int capacities[10];
    for (int i = 0; i < 10; ++i) {
        list->Add(P(i));
        capacities[i] = list->Capacity;
    }
    // index 0 -> 1, 1 -> 2, 2 -> 3, 3 -> 4, 4 -> 6, 6 -> 8, 8 -> 11
    EXPECT_EQ(capacities[0], 1);
    EXPECT_EQ(capacities[4], 6);
    EXPECT_EQ(capacities[6], 8);
    EXPECT_EQ(capacities[9], 11);
    Release(list);
}

TEST_F(ListTest, ItemOutOfRangeIsNull)
{
    Fill(3);
    EXPECT_EQ(list->Item(-1), nullptr);
    EXPECT_EQ(list->Item(3), nullptr);
    EXPECT_EQ(list->Item(2), P(3));
}

TEST_F(ListTest, InsertMovesLaterEntriesUp)
{
    Fill(3);
    list->Insert(0, P(10));
    list->Insert(4, P(20));  // at Count: appends
    list->Insert(2, P(30));
    list->Insert(9, P(40));  // beyond Count: ignored
    ASSERT_EQ(list->Count, 6);
    intptr_t expected[] = {10, 1, 30, 2, 3, 20};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(list->Item(i), P(expected[i])) << i;
}

TEST_F(ListTest, DeleteRangeCutsToWhatTheListHolds)
{
    Fill(3);
    list->DeleteRange(1, 10);
    ASSERT_EQ(list->Count, 1);
    EXPECT_EQ(list->Item(0), P(1));
    list->DeleteRange(1, 1);   // at Count: nothing
    list->DeleteRange(0, 0);   // empty range: nothing
    list->DeleteRange(0, -3);  // negative: nothing
    EXPECT_EQ(list->Count, 1);
}

TEST_F(ListTest, IndexOfAndRemoveFindTheFirstMatch)
{
    Fill(3);
    list->Add(P(2));
    EXPECT_EQ(list->IndexOf(P(2)), 1);
    EXPECT_EQ(list->IndexOf(P(9)), -1);
    list->Remove(P(2));
    EXPECT_EQ(list->IndexOf(P(2)), 2);
    list->Remove(P(9));
    EXPECT_EQ(list->Count, 3);
}

TEST_F(ListTest, SetCapacityNeverDropsEntries)
{
    Fill(6);
    list->SetCapacity(2);
    EXPECT_EQ(list->Capacity, 6);
    EXPECT_EQ(list->Item(5), P(6));
    list->Clear();
    EXPECT_EQ(list->Count, 0);
    EXPECT_EQ(list->Capacity, 0);
    list->Add(P(1));
    EXPECT_EQ(list->Item(0), P(1));
}

}  // namespace
