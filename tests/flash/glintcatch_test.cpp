// libglintcatch.so as a host uses it: loaded with dlopen, the class table
// behind DllGetClassObject, DllCanUnloadNow, registration through velkin
// register / unregister, and the refusal to serve inside explorer.exe.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "flash/iglintcatch.h"
#include "platform/com/object.h"
#include "platform/com/shell_interfaces.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace velkin::flash {
namespace {

using com::ComPtr;
using com::GUID;
using com::HRESULT;
using testing::readTextFile;
using testing::runProgram;

constexpr GUID kOtherClsid{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

class LoadedLibrary {
 public:
  LoadedLibrary() : handle_(dlopen(VELKIN_GLINTCATCH_PATH, RTLD_NOW | RTLD_LOCAL)) {}
  ~LoadedLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  bool loaded() const { return handle_ != nullptr; }
  HRESULT getClassObject(const GUID* clsid, const GUID* iid, void** object) const {
    using Function = HRESULT (*)(const GUID*, const GUID*, void**);
    return reinterpret_cast<Function>(dlsym(handle_, "DllGetClassObject"))(clsid, iid, object);
  }
  HRESULT canUnloadNow() const { return reinterpret_cast<HRESULT (*)()>(dlsym(handle_, "DllCanUnloadNow"))(); }
  ComPtr<com::IClassFactory> factory(const GUID& clsid) const {
    ComPtr<com::IClassFactory> factory;
    getClassObject(&clsid, &com::IID_IClassFactory, factory.putVoid());
    return factory;
  }
  ComPtr<com::IUnknown> create(const GUID& clsid) const {
    ComPtr<com::IUnknown> object;
    if (ComPtr<com::IClassFactory> f = factory(clsid)) f->CreateInstance(nullptr, com::IID_IUnknown, object.putVoid());
    return object;
  }

 private:
  void* handle_;
};

class Glintcatch : public testing::IsolatedTest {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.loaded()) << dlerror(); }
  std::string exportStore() const {
    const testing::ProgramRun run = runProgram({VELKIN_CLI_PATH, "registry", "export"});
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
  }
  LoadedLibrary library_;
};

struct ClassInterfaces {
  const char* name;
  GUID clsid;
  std::vector<GUID> interfaces;
};

// Each class answers exactly its own interfaces; every other one, among
// them its siblings' and the class factory's, is E_NOINTERFACE.
TEST_F(Glintcatch, EachClassAnswersExactlyItsInterfaces) {
  const std::vector<ClassInterfaces> classes = {
      {"VelkinSite", CLSID_VelkinSite, {IID_IVelkinSite, com::IID_IDispatch, com::IID_IObjectWithSite}},
      {"VelkinSink", CLSID_VelkinSink, {IID_IVelkinSink, com::IID_IDispatch}},
      {"Searcher", CLSID_Searcher, {IID_ISearcher, com::IID_IDispatch}},
      {"FlashBar",
       CLSID_FlashBar,
       {IID_IFlashBar, com::IID_IDispatch, com::IID_IObjectWithSite, com::IID_IDeskBand, com::IID_IDockingWindow,
        com::IID_IOleWindow, com::IID_IInputObject, com::IID_IPersistStream, com::IID_IPersist}},
  };
  std::vector<GUID> everyInterface{com::IID_IClassFactory, com::IID_IConnectionPointContainer,
                                   com::IID_ISupportErrorInfo};
  for (const ClassInterfaces& each : classes) {
    everyInterface.insert(everyInterface.end(), each.interfaces.begin(), each.interfaces.end());
  }
  for (const ClassInterfaces& each : classes) {
    SCOPED_TRACE(each.name);
    const ComPtr<com::IUnknown> object = library_.create(each.clsid);
    ASSERT_TRUE(object);
    for (const GUID& iid : everyInterface) {
      const bool expected = std::find(each.interfaces.begin(), each.interfaces.end(), iid) != each.interfaces.end();
      ComPtr<com::IUnknown> answer;
      EXPECT_EQ(object->QueryInterface(iid, answer.putVoid()), expected ? com::S_OK : com::E_NOINTERFACE)
          << com::formatGuid(iid);
      if (!answer) continue;
      // Every interface leads back to the same object.
      ComPtr<com::IUnknown> identity;
      ASSERT_EQ(answer->QueryInterface(com::IID_IUnknown, identity.putVoid()), com::S_OK);
      EXPECT_EQ(identity.get(), object.get()) << com::formatGuid(iid);
    }
  }
}

TEST_F(Glintcatch, DispatchAndBandMembersAnswerAsDesigned) {
  const ComPtr<ISearcher> searcher = library_.create(CLSID_Searcher).as<ISearcher>();
  ASSERT_TRUE(searcher);
  std::vector<com::DISPID> ids;
  ASSERT_EQ(searcher->GetIDsOfNames({"saveflash"}, &ids), com::S_OK);
  EXPECT_EQ(ids, std::vector<com::DISPID>{kDispidSaveFlash});
  // A null window does nothing. This process cannot show the save dialog
  // (no widgets application, or no toolkit in the build): a plain failure,
  // never a pretended save.
  EXPECT_EQ(searcher->Invoke(kDispidSaveFlash, {static_cast<com::IDispatch*>(nullptr)}, nullptr), com::S_FALSE);
  EXPECT_TRUE(com::FAILED(
      searcher->Invoke(kDispidSaveFlash, {static_cast<com::IDispatch*>(searcher.get())}, nullptr)));
  EXPECT_EQ(searcher->Invoke(kDispidSaveFlash, {}, nullptr), com::DISP_E_BADPARAMCOUNT);

  // The browser's events are all accepted by the helper object.
  const ComPtr<IVelkinSite> site = library_.create(CLSID_VelkinSite).as<IVelkinSite>();
  ASSERT_TRUE(site);
  for (const com::DISPID event : {kDispidNavigateComplete2, kDispidDocumentComplete, kDispidOnQuit, 999}) {
    EXPECT_EQ(site->Invoke(event, {}, nullptr), com::S_OK) << event;
  }
  // The site it is given is the one it hands back, and a null site lets it go.
  const ComPtr<com::IObjectWithSite> withSite = site.as<com::IObjectWithSite>();
  ComPtr<com::IUnknown> got;
  EXPECT_EQ(withSite->GetSite(com::IID_IUnknown, got.putVoid()), com::E_FAIL);
  const ComPtr<com::IUnknown> browser = library_.create(CLSID_Searcher);
  ASSERT_EQ(withSite->SetSite(browser.get()), com::S_OK);
  ASSERT_EQ(withSite->GetSite(IID_ISearcher, got.putVoid()), com::S_OK);
  EXPECT_EQ(got.as<com::IUnknown>().get(), browser.get());
  got.reset();
  EXPECT_EQ(withSite->SetSite(nullptr), com::S_OK);
  EXPECT_EQ(withSite->GetSite(com::IID_IUnknown, got.putVoid()), com::E_FAIL);

  const ComPtr<com::IUnknown> bar = library_.create(CLSID_FlashBar);
  com::DeskBandInfo info;
  ASSERT_EQ(bar.as<com::IDeskBand>()->GetBandInfo(0, 0, &info), com::S_OK);
  EXPECT_EQ(info.title, "Velkin Web for Flash");
  EXPECT_EQ(std::vector<int>({info.minWidth, info.minHeight, info.maxWidth, info.maxHeight, info.actualWidth,
                              info.actualHeight}),
            std::vector<int>({250, 20, 0, -1, 250, 20}));
  EXPECT_EQ(bar.as<com::IDeskBand>()->GetBandInfo(0, 0, nullptr), com::E_INVALIDARG);
  EXPECT_EQ(bar.as<com::IOleWindow>()->GetWindow(nullptr), com::E_INVALIDARG);
  GUID clsid{};
  ASSERT_EQ(bar.as<com::IPersist>()->GetClassID(&clsid), com::S_OK);
  EXPECT_EQ(clsid, CLSID_FlashBar);
  // No band window here: taking a site is refused rather than faked.
  EXPECT_EQ(bar.as<com::IObjectWithSite>()->SetSite(browser.get()), com::E_NOTIMPL);
  EXPECT_EQ(bar.as<com::IObjectWithSite>()->SetSite(nullptr), com::S_OK);
}

TEST_F(Glintcatch, ClassObjectsAreMadeOnceAndBadRequestsFail) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(library_.getClassObject(&kOtherClsid, &com::IID_IClassFactory, &object), com::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(library_.getClassObject(&CLSID_Searcher, &com::IID_IClassFactory, nullptr), com::E_POINTER);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(library_.getClassObject(nullptr, &com::IID_IClassFactory, &object), com::E_POINTER);
  EXPECT_EQ(object, nullptr);
  object = reinterpret_cast<void*>(1);
  EXPECT_EQ(library_.getClassObject(&CLSID_Searcher, &IID_ISearcher, &object), com::E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  // The same class object each time; each class its own.
  for (const GUID& clsid : {CLSID_VelkinSite, CLSID_VelkinSink, CLSID_Searcher, CLSID_FlashBar}) {
    EXPECT_EQ(library_.factory(clsid).get(), library_.factory(clsid).get()) << com::formatGuid(clsid);
  }
  EXPECT_NE(library_.factory(CLSID_Searcher).get(), library_.factory(CLSID_FlashBar).get());
}

TEST_F(Glintcatch, CanUnloadOnlyWhenNothingIsHeld) {
  EXPECT_EQ(library_.canUnloadNow(), com::S_OK);
  ComPtr<com::IClassFactory> factory = library_.factory(CLSID_FlashBar);
  ASSERT_TRUE(factory);
  EXPECT_EQ(library_.canUnloadNow(), com::S_FALSE) << "a held class object is code of the library in use";
  ComPtr<com::IUnknown> bar;
  ASSERT_EQ(factory->CreateInstance(nullptr, com::IID_IUnknown, bar.putVoid()), com::S_OK);
  ASSERT_EQ(factory->LockServer(true), com::S_OK);
  factory.reset();
  EXPECT_EQ(library_.canUnloadNow(), com::S_FALSE) << "a live object and a lock";
  bar.reset();
  EXPECT_EQ(library_.canUnloadNow(), com::S_FALSE) << "the lock";
  ASSERT_EQ(library_.factory(CLSID_FlashBar)->LockServer(false), com::S_OK);
  EXPECT_EQ(library_.canUnloadNow(), com::S_OK) << "the module's own class objects do not count";
}

std::string withLibrary(std::string text, const std::string& library) {
  for (const auto& [name, value] : {std::pair<std::string, std::string>{"@LIBRARY@", library},
                                    {"@FOLDER@", std::filesystem::path(library).parent_path().string()}}) {
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
      text.replace(at, name.size(), value);
    }
  }
  return text;
}

// The whole store after registration, every key and value of the four
// classes' scripts and the type library, and after unregistration only the
// shared keys the scripts never remove.
TEST_F(Glintcatch, RegisterWritesEveryEntryAndUnregisterKeepsOnlySharedKeys) {
  const std::string library = path("lib with blanks") + "/libglintcatch.so";
  testing::makeDirs(path("lib with blanks"));
  std::filesystem::copy_file(VELKIN_GLINTCATCH_PATH, library);
  const testing::ProgramRun run = runProgram({VELKIN_CLI_PATH, "register", library});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("registered " + library + "\n", 0), 0u) << run.out;
  EXPECT_EQ(exportStore(), withLibrary(readTextFile(VELKIN_FLASH_TEST_DATA "/registered.reg"), library));

  // What the user or another program keeps beside the entries stays.
  platform::Registry registry(configDir());
  const std::string options = "SOFTWARE\\Microsoft\\Internet Explorer\\AdvancedOptions";
  ASSERT_TRUE(registry.writeString(platform::RegistryRoot::Machine, options + "\\Other", "Type", "group"));
  ASSERT_EQ(runProgram({VELKIN_CLI_PATH, "unregister", library}).status, 0);
  EXPECT_EQ(registry.readString(platform::RegistryRoot::Machine, options + "\\Other", "Type"), "group");
  registry.deleteKey(platform::RegistryRoot::Machine, options + "\\Other");
  EXPECT_EQ(exportStore(), readTextFile(VELKIN_FLASH_TEST_DATA "/unregistered.reg"));
}

// Without a library named, register takes both libraries: the Flash library
// is registered even where the browser capture library is not built.
TEST_F(Glintcatch, RegisterWithoutALibraryRegistersTheFlashLibraryToo) {
  const std::string host = path("marrowind-host");
  std::filesystem::copy_file("/bin/true", host);
  const testing::ProgramRun run = runProgram({VELKIN_CLI_PATH, "register", "--host", host});
  EXPECT_NE(run.out.find("registered " + std::string(VELKIN_GLINTCATCH_PATH)), std::string::npos) << run.out << run.err;
  platform::Registry registry(configDir());
  EXPECT_EQ(registry.readString(platform::RegistryRoot::Classes, "Glintcatch.Searcher\\CurVer", ""),
            "Glintcatch.Searcher.1");
  runProgram({VELKIN_CLI_PATH, "unregister"});
  EXPECT_FALSE(registry.openKey(platform::RegistryRoot::Classes, "Glintcatch.Searcher").has_value());
}

// A program whose path holds "explorer.exe" in any letter case gets no class
// and cannot register the library; any other program is served.
TEST_F(Glintcatch, NoServiceInsideExplorerExe) {
  struct Case {
    const char* program;
    bool refused;
  };
  const Case cases[] = {{"bin/loader", false},
                        {"bin/explorer.exe", true},
                        {"bin/EXPLORER.EXE", true},
                        {"Explorer.Exe.d/loader", true},
                        {"bin/explorer.ex", false}};
  for (const Case& each : cases) {
    SCOPED_TRACE(each.program);
    const std::string program = path(each.program);
    testing::makeDirs(std::filesystem::path(program).parent_path().string());
    std::filesystem::copy_file(VELKIN_GLINTCATCH_LOADER_PATH, program);
    const testing::ProgramRun run = runProgram({program, VELKIN_GLINTCATCH_PATH});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, each.refused ? "class 80040111 register 80004005\n" : "class 00000000 register 00000000\n");
    platform::Registry registry(configDir());
    EXPECT_EQ(registry.openKey(platform::RegistryRoot::Classes, "Glintcatch.FlashBar").has_value(), !each.refused);
    registry.deleteKey(platform::RegistryRoot::Classes, "Glintcatch.FlashBar");
  }
}

}  // namespace
}  // namespace velkin::flash
