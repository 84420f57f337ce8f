// Projection modules: real shared libraries loaded, refused, skipped and released; hostile files
// beside the program.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "engine/reproject.h"
#include "image/image_test_support.h"
#include "parser/tokenizer.h"
#include "registry/map_instance.h"
#include "registry/registry_fixture.h"

namespace {

const std::string kDir = KARTOVEL_TEST_MODULE_DIR;

// Whether the module file is loaded in this process right now.
bool IsLoaded(const char* file) {
  void* handle = dlopen((kDir + file).c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) dlclose(handle);
  return handle != nullptr;
}

// Objects of the module destroyed so far; the module is held open by `handle`.
int DestroyedCount(void* handle) {
  auto count = reinterpret_cast<int (*)()>(dlsym(handle, "DestroyedCount"));
  return count ? count() : -1;
}

class ModuleTest : public BuiltinRegistryTest {
 protected:
  void LoadModules() {
    registry().UnloadAll();
    registry().LoadAll(kDir);
  }
};

TEST_F(ModuleTest, FirstModuleOfACodeWinsAndBadOnesAreSkippedAndReleased) {
  LoadModules();
  EXPECT_EQ(registry().GetSlotName(16), "First Sixteen");
  EXPECT_EQ(registry().GetSlotName(17), "Seventeen");  // e, f and g did not take it
  EXPECT_EQ(registry().GetSlotName(6), "Mercator");
  EXPECT_EQ(registry().GetSlotFlags(16), static_cast<std::uint32_t>(Projection::MAP_CYLINDRICAL));
  EXPECT_EQ(registry().Next(15), 16);
  EXPECT_EQ(registry().Next(16), 17);
  EXPECT_EQ(registry().Next(17), 18);
  EXPECT_EQ(registry().Next(39), ProjectionRegistry::kEnd);

  EXPECT_TRUE(IsLoaded("a_first16.so"));
  EXPECT_TRUE(IsLoaded("i_code17.so"));
  for (const char* refused : {"b_second16.so", "c_taken6.so", "d_code300.so", "e_noclass.so",
                              "f_noexports.so", "g_nullfactory.so", "j_negative.so"}) {
    EXPECT_FALSE(IsLoaded(refused)) << refused;
  }

  registry().UnloadAll();
  EXPECT_FALSE(IsLoaded("a_first16.so"));
  EXPECT_FALSE(IsLoaded("i_code17.so"));
}

TEST_F(ModuleTest, ModuleObjectsAreMadeAndDestroyedByTheModule) {
  void* handle = dlopen((kDir + "a_first16.so").c_str(), RTLD_NOW);
  ASSERT_NE(handle, nullptr);
  LoadModules();
  const int probes = DestroyedCount(handle);
  EXPECT_EQ(probes, 1);  // the registration probe
  {
    MapInstance m;
    ASSERT_EQ(m.Select(16), 0);
    EXPECT_STREQ(m.GetName(), "First Sixteen");
    double x, y;
    ASSERT_EQ(m.projection->Forward(0.25, 0.5, &x, &y), 0);
    EXPECT_EQ(y, 0.25);
  }
  EXPECT_EQ(DestroyedCount(handle), probes + 1);
  registry().UnloadAll();
  dlclose(handle);
}

TEST_F(ModuleTest, RefusedProbesAreDestroyedThroughTheirOwnDestructor) {
  for (const char* file : {"c_taken6.so", "d_code300.so", "j_negative.so"}) {
    void* handle = dlopen((kDir + file).c_str(), RTLD_NOW);
    ASSERT_NE(handle, nullptr) << file;
    LoadModules();
    EXPECT_EQ(DestroyedCount(handle), 1) << file;
    registry().UnloadAll();
    dlclose(handle);
  }
}

TEST_F(ModuleTest, CompositesGiveModuleObjectsBackBeforeTheModuleIsReleased) {
  void* handle = dlopen((kDir + "i_code17.so").c_str(), RTLD_NOW);
  ASSERT_NE(handle, nullptr);
  LoadModules();
  Parser::Tokenizer tokens;
  ASSERT_EQ(tokens.OpenText("Projection 120 Mixed\n"
                            "Segment 'Seventeen' 0, 0, 0, 0, 1, 0, 0 EndSegment\n"
                            "Segment 'Seventeen' 0, 0, 0, 0, 1, 0, 0 EndSegment\n"
                            "EndProjection"),
            0);
  registry().ReadDefinitions(tokens);
  ASSERT_EQ(registry().GetSlotName(120), "Mixed");
  // The probe and the reader's scratch objects are gone already.
  const int before = DestroyedCount(handle);
  registry().UnloadAll();
  EXPECT_EQ(DestroyedCount(handle), before + 2);  // one object per segment
  dlclose(handle);
}

}  // namespace

namespace {

const std::string kHostileDir = KARTOVEL_HOSTILE_MODULE_DIR;

// Hostile files beside the program: a module cut in half, a FIFO named like a module, and a
// Projection.txt that never ends. Start-up skips them all instead of dying or hanging.
TEST_F(ModuleTest, StartUpSkipsTruncatedModulesAndFilesThatAreNotRegular) {
  test_support::ScratchDir dir;
  const auto whole = test_support::ReadBytes(kDir + "a_first16.so");
  // Its headers, but not the segments they ask to be mapped.
  ASSERT_GT(whole.size(), 3000u);
  test_support::WriteBytes(dir / "a_cut.so", {whole.begin(), whole.begin() + 3000});
  ASSERT_EQ(mkfifo((dir / "b_fifo.so").c_str(), 0600), 0);
  for (const std::string definitions : {"fifo", "/dev/zero"}) {
    SCOPED_TRACE(definitions);
    std::filesystem::remove(dir / "Projection.txt");
    if (definitions == "fifo") {
      ASSERT_EQ(mkfifo((dir / "Projection.txt").c_str(), 0600), 0);
    } else {
      std::filesystem::create_symlink(definitions, dir / "Projection.txt");
    }
    registry().UnloadAll();
    registry().LoadAll(dir / "");
    EXPECT_FALSE(registry().IsAvailable(16));
    EXPECT_EQ(registry().GetSlotName(6), "Mercator");
  }
}

// Modules built without RTTI, throwing from their calls or their factory, or giving a name that
// would forge lines of --list.
TEST_F(ModuleTest, MisbehavingModulesFailOnlyTheirOwnCalls) {
  registry().UnloadAll();
  registry().LoadAll(kHostileDir);
  EXPECT_FALSE(registry().IsAvailable(203)) << "a factory that throws is no module";
  EXPECT_EQ(registry().GetSlotName(205), "Forged  1 Equirectangular");

  VideoBuffer source, out;
  ASSERT_EQ(source.Create(8, 4), 0);
  ASSERT_EQ(out.Create(8, 4), 0);
  // Reprojected without a crash: no RTTI is looked for in a module's object, no exception
  // unwinds through the engine's threads.
  const struct {
    int code;
    int applied;  // what Apply returns
  } cases[] = {{201, 0}, {202, -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    MapInstance m;
    ASSERT_EQ(m.Select(c.code), 0);
    EXPECT_EQ(m.Apply(), c.applied);
    double lat, lon;
    EXPECT_EQ(m.projection->Inverse(0, 0, &lat, &lon), -1);
    EXPECT_EQ(Reproject(source, m, out), 0);
  }
  // Made once for the registration, then never again: no silent equirectangular instead.
  MapInstance m;
  EXPECT_EQ(m.Select(204), -1);
}

}  // namespace
