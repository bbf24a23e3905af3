// Reference counting, destroy events and the release order of owned objects.
#include "winlayer/base/obj.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "winlayer/base/obj_list.h"

namespace {

// Records its name into a shared log when it is destroyed.
class Tracked : public Obj {
public:
    Tracked(std::vector<std::string>* log, std::string name) : log_(log), name_(std::move(name)) {}

    void Destroy() override
    {
        log_->push_back(name_);
        Obj::Destroy();
    }

private:
    std::vector<std::string>* log_;
    std::string name_;
};

void LogEvent(void* context, Obj*) { static_cast<std::vector<std::string>*>(context)->push_back("event"); }

TEST(ObjLifetime, FirstReleaseDestroysAFreshObject)
{
    std::vector<std::string> log;
    int32_t before = Obj::LiveCount();
    auto* obj = Create<Tracked>(&log, "a");
    obj->DestroyEvent = {LogEvent, &log};
    EXPECT_EQ(obj->RefCount, 0);
    EXPECT_EQ(Obj::LiveCount(), before + 1);
    Release(obj);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "event"}));
    EXPECT_EQ(Obj::LiveCount(), before);
    Release(nullptr);  // null-safe
}

TEST(ObjLifetime, AddRefDefersDestructionToTheMatchingRelease)
{
    std::vector<std::string> log;
    auto* obj = Create<Tracked>(&log, "a");
    AddRef(obj);
    EXPECT_EQ(obj->RefCount, 2);
    Release(obj);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(obj->RefCount, 0);
    Release(obj);
    EXPECT_EQ(log, std::vector<std::string>{"a"});
}

TEST(ObjOwnership, OwnedObjectsAreReleasedOldestFirst)
{
    std::vector<std::string> log;
    auto* owner = Create<Tracked>(&log, "owner");
    AddOwned(owner, Create<Tracked>(&log, "P"));
    AddOwned(owner, Create<Tracked>(&log, "Q"));
    AddOwned(owner, Create<Tracked>(&log, "R"));
    ASSERT_NE(owner->OwnedList, nullptr);
    EXPECT_EQ(owner->OwnedList->Count, 6);  // a (routine, object) pair each
    Release(owner);
    EXPECT_EQ(log, (std::vector<std::string>{"owner", "P", "Q", "R"}));
}

TEST(ObjOwnership, RemovingTheOnlyOwnedObjectDropsTheList)
{
    std::vector<std::string> log;
    int32_t before = Obj::LiveCount();
    auto* owner = Create<Tracked>(&log, "owner");
    auto* child = Create<Tracked>(&log, "child");
    auto* other = Create<Tracked>(&log, "other");
    AddOwned(owner, child);
    RemoveOwned(owner, other);  // not owned: no effect
    EXPECT_EQ(owner->OwnedList->Count, 2);
    RemoveOwned(owner, child);
    EXPECT_EQ(owner->OwnedList, nullptr);
    Release(owner);
    EXPECT_EQ(log, std::vector<std::string>{"owner"});
    Release(child);
    Release(other);
    EXPECT_EQ(Obj::LiveCount(), before);
}

// An owned object that, while being released, also drops a sibling from
// the owner's list, as a control leaving its parent does.
class Unlinker : public Obj {
public:
    Unlinker(Obj* owner, Obj* sibling, std::vector<std::string>* log) : owner_(owner), sibling_(sibling), log_(log) {}
    void Destroy() override
    {
        log_->push_back("unlinker");
        RemoveOwned(owner_, sibling_);
        Release(sibling_);
        Obj::Destroy();
    }

private:
    Obj* owner_;
    Obj* sibling_;
    std::vector<std::string>* log_;
};

TEST(ObjOwnership, ReleaseLoopFollowsAListChangedByAReleasedObject)
{
    std::vector<std::string> log;
    int32_t before = Obj::LiveCount();
    auto* owner = Create<Tracked>(&log, "owner");
    auto* sibling = Create<Tracked>(&log, "sibling");
    AddOwned(owner, Create<Unlinker>(owner, sibling, &log));
    AddOwned(owner, sibling);
    AddOwned(owner, Create<Tracked>(&log, "last"));
    Release(owner);
    EXPECT_EQ(log, (std::vector<std::string>{"owner", "unlinker", "sibling", "last"}));
    EXPECT_EQ(Obj::LiveCount(), before);
}

}  // namespace
