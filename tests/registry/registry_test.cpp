// The registry: enumeration, refusals, ownership of created and shared objects.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <vector>

#include "registry/registry_fixture.h"

namespace {

using Projection::MapProject;

int destroyed = 0;

template <int Code>
class FakeProjection : public MapProject {
 public:
  ~FakeProjection() override { ++destroyed; }
  const char* GetName() const override { return "Fake"; }
  std::int32_t GetFlags() const override { return 0x80; }
  std::int32_t GetTypeCode() const override { return Code; }
};

template <int Code>
MapProject* MakeFake() {
  return new FakeProjection<Code>;
}

MapProject* MakeNothing() { return nullptr; }

// A careless module's type that answers GetName with null.
class Nameless : public FakeProjection<78> {
 public:
  const char* GetName() const override { return nullptr; }
};

MapProject* MakeNameless() { return new Nameless; }

using RegistryTest = BuiltinRegistryTest;

TEST_F(RegistryTest, EnumeratesTheBuiltinCodesInAscendingOrder) {
  std::vector<int> walked;
  for (int c = registry().First(); c != ProjectionRegistry::kEnd; c = registry().Next(c)) {
    walked.push_back(c);
  }
  std::vector<int> expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18, 19, 20, 22};
  for (int c = 23; c <= 39; ++c) expected.push_back(c);
  EXPECT_EQ(walked, expected);
  EXPECT_EQ(registry().First(), 1);
  EXPECT_EQ(registry().Next(22), 23);
  EXPECT_EQ(registry().Next(39), 256);
  for (int beyond : {255, 256, 300, INT_MAX}) {
    EXPECT_EQ(registry().Next(beyond), ProjectionRegistry::kEnd) << beyond;
  }
  EXPECT_EQ(registry().Next(INT_MIN), 1);
}

TEST_F(RegistryTest, EmptyAndOutOfRangeCodesAnswerNothing) {
  for (int code : {0, 21, 300, -1}) {
    EXPECT_FALSE(registry().IsAvailable(code)) << code;
    EXPECT_EQ(registry().GetSlotName(code), "") << code;
    EXPECT_EQ(registry().GetSlotFlags(code), 0u) << code;
    EXPECT_EQ(registry().Create(code), nullptr) << code;
  }
  EXPECT_EQ(registry().FindCode("No Such Projection"), -1);
  EXPECT_EQ(registry().FindCode("mercator"), -1);  // names are case-sensitive
  EXPECT_EQ(registry().FindCode("Mercator"), 6);
  EXPECT_EQ(registry().GetSlotFlags(6), 0x1001u);
}

TEST_F(RegistryTest, RefusesTakenAndOutOfRangeCodesAndDestroysTheProbe) {
  destroyed = 0;
  EXPECT_EQ(registry().RegisterFactory(MakeFake<6>, nullptr), -2);
  EXPECT_EQ(registry().RegisterFactory(MakeFake<300>, nullptr), -1);
  EXPECT_EQ(registry().RegisterFactory(MakeFake<-1>, nullptr), -1);
  EXPECT_EQ(registry().RegisterFactory(MakeNothing, nullptr), -1);
  EXPECT_EQ(destroyed, 3);
  EXPECT_EQ(registry().GetSlotName(6), "Mercator");

  EXPECT_EQ(registry().RegisterFactory(MakeFake<77>, nullptr), 0);
  EXPECT_EQ(destroyed, 4);  // the probe
  EXPECT_EQ(registry().GetSlotName(77), "Fake");
  EXPECT_EQ(registry().GetSlotFlags(77), 0x80u);
  EXPECT_EQ(registry().RegisterFactory(MakeNameless, nullptr), 0);
  EXPECT_TRUE(registry().IsAvailable(78));
  EXPECT_EQ(registry().GetSlotName(78), "");
}

TEST_F(RegistryTest, ReleaseDestroysEveryObjectItsFactoryMadeOnce) {
  ASSERT_EQ(registry().RegisterFactory(MakeFake<90>, nullptr), 0);
  destroyed = 0;
  MapProject* first = registry().Create(90);
  MapProject* second = registry().Create(90);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(first, second);
  EXPECT_TRUE(registry().Release(first));  // displaced as the recorded one, still destroyed
  EXPECT_EQ(destroyed, 1);
  EXPECT_TRUE(registry().Release(second));
  EXPECT_EQ(destroyed, 2);
  FakeProjection<90> stranger;
  EXPECT_TRUE(registry().Release(&stranger));  // not made here: nothing happens
  EXPECT_TRUE(registry().Release(nullptr));
  EXPECT_EQ(destroyed, 2);
}

TEST_F(RegistryTest, BuiltinObjectsCanBeReleasedAfterUnloadAll) {
  MapProject* held = registry().Create(6);
  registry().UnloadAll();
  registry().Release(held);  // the sanitizer build reports a leak if this does not destroy it
}

TEST_F(RegistryTest, SharedObjectsAreOwnedByTheRegistryAndNeverReleased) {
  auto* taken = new FakeProjection<6>;
  EXPECT_FALSE(registry().RegisterShared(taken));  // the caller keeps a refused object
  delete taken;
  auto* large = new FakeProjection<256>;
  EXPECT_FALSE(registry().RegisterShared(large));
  delete large;

  destroyed = 0;
  auto* shared = new FakeProjection<200>;
  ASSERT_TRUE(registry().RegisterShared(shared));
  EXPECT_EQ(registry().Create(200), shared);
  EXPECT_EQ(registry().Create(200), shared);
  EXPECT_EQ(registry().CreateByName("Fake"), shared);
  registry().Release(shared);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(registry().Next(199), 200);
  registry().UnloadAll();
  EXPECT_EQ(destroyed, 0);                  // UnloadAll leaves objects alone
  EXPECT_STREQ(shared->GetName(), "Fake");  // and alive for holders that still point at them
  registry().DestroyRetired();              // still the registry's to destroy
  EXPECT_EQ(destroyed, 1);
}

TEST_F(RegistryTest, UnloadAllEmptiesEverySlot) {
  registry().UnloadAll();
  EXPECT_EQ(registry().First(), ProjectionRegistry::kEnd);
  EXPECT_FALSE(registry().IsAvailable(2));
}

TEST(ExecutableDirectory, EndsWithASeparator) {
  const std::string dir = ExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '/');
  EXPECT_EQ(dir.back(), '/');
}

}  // namespace
