// Gives each registry test the built-in types alone, and empties the registry afterwards.
#ifndef KARTOVEL_TESTS_REGISTRY_REGISTRY_FIXTURE_H_
#define KARTOVEL_TESTS_REGISTRY_REGISTRY_FIXTURE_H_

#include <gtest/gtest.h>

#include "registry/projection_registry.h"

class BuiltinRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry().UnloadAll();
    registry().LoadAll("/nonexistent-kartovel-dir/");
  }
  void TearDown() override { registry().UnloadAll(); }
  static ProjectionRegistry& registry() { return GetProjectionRegistry(); }
};

#endif  // KARTOVEL_TESTS_REGISTRY_REGISTRY_FIXTURE_H_
