// libmarrowind.so as a host uses it: loaded with dlopen, the class factory
// from DllGetClassObject, the capture object's interfaces and results, its
// registration through velkin register / unregister, and one whole capture
// from a document snapshot of a page served on 127.0.0.1 through the
// capture dialog's widgets to the files on disk.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "capture/support/loopback_server.h"
#include "iecapture/ivelkin.h"
#include "kb/book_dir.h"
#include "kb/meta.h"
#include "platform/com/html_document.h"
#include "platform/file_util.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace velkin::iecapture {
namespace {

using com::ComPtr;
using testing::readTextFile;
using testing::runProgram;

constexpr com::GUID kOtherClsid{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

// The library, loaded for one test as the native host loads it.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::string& path) : handle_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {}
  ~LoadedLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  bool loaded() const { return handle_ != nullptr; }
  template <class Function>
  Function entry(const char* name) const {
    return reinterpret_cast<Function>(dlsym(handle_, name));
  }
  ComPtr<IVelkin> createVelkin() const {
    ComPtr<com::IClassFactory> factory;
    entry<DllGetClassObjectFunction>("DllGetClassObject")(&CLSID_Velkin, &com::IID_IClassFactory,
                                                          factory.putVoid());
    ComPtr<IVelkin> velkin;
    if (factory) factory->CreateInstance(nullptr, IID_IVelkin, velkin.putVoid());
    return velkin;
  }

 private:
  void* handle_;
};

ComPtr<com::IHTMLDocument2> documentFrom(const std::string& json) {
  std::string error;
  std::optional<platform::DocumentSnapshot> snapshot = platform::DocumentSnapshot::fromJson(json, error);
  EXPECT_TRUE(snapshot) << error;
  if (!snapshot) return {};
  return ComPtr<com::IHTMLDocument2>::adopt(com::createSnapshotDocument(std::move(*snapshot)));
}

// Saves through the capture dialog's widgets, into the book directory
// (the tree's root item).
void saveInto(QWidget* dialog) {
  auto* tree = dialog->findChild<QTreeWidget*>("projectTree");
  ASSERT_NE(tree, nullptr);
  tree->setCurrentItem(tree->topLevelItem(0));
  dialog->findChild<QPushButton*>("save")->click();
}

// Answers the next modal dialog the library opens, once it is shown.
void whenDialogOpens(std::function<void(QWidget*)> answer) {
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [answer, poll] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      answer(dialog);
    } else {
      QTimer::singleShot(20, *poll);
    }
  };
  QTimer::singleShot(20, *poll);
}

class Marrowind : public testing::IsolatedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(library_.loaded()) << dlerror();
    platform::Registry registry(configDir());
    registry.writeString(platform::RegistryRoot::Machine, kb::kKestrovaKey, kb::kBookPathValue, book_);
    testing::makeDirs(book_);
  }
  const std::string book_ = path("book");
  LoadedLibrary library_{VELKIN_MARROWIND_PATH};
};

TEST_F(Marrowind, ClassFactoryAndInterfacesAnswerAsDesigned) {
  const auto getClassObject = library_.entry<DllGetClassObjectFunction>("DllGetClassObject");
  const auto canUnloadNow = library_.entry<DllCanUnloadNowFunction>("DllCanUnloadNow");
  ASSERT_NE(getClassObject, nullptr);
  ASSERT_NE(canUnloadNow, nullptr);
  void* nothing = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(&kOtherClsid, &com::IID_IClassFactory, &nothing), com::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(nothing, nullptr);
  EXPECT_EQ(canUnloadNow(), com::S_OK);
  {
    ComPtr<com::IClassFactory> factory;
    ASSERT_EQ(getClassObject(&CLSID_Velkin, &com::IID_IClassFactory, factory.putVoid()), com::S_OK);
    ComPtr<com::IUnknown> outer(factory.get());  // any object may stand as an outer one
    ComPtr<com::IUnknown> aggregated;
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IVelkin, aggregated.putVoid()), com::CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(outer.get(), com::IID_IUnknown, aggregated.putVoid()), com::S_OK);
    aggregated.reset();

    ComPtr<IVelkin> velkin;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVelkin, velkin.putVoid()), com::S_OK);
    factory.reset();
    EXPECT_EQ(canUnloadNow(), com::S_FALSE) << "a live object keeps the library loaded";
    EXPECT_EQ(static_cast<com::IDispatch*>(velkin.get()), velkin.as<com::IDispatch>().get());
    EXPECT_FALSE(velkin.as<com::IClassFactory>());

    const ComPtr<com::ISupportErrorInfo> errorInfo = velkin.as<com::ISupportErrorInfo>();
    ASSERT_TRUE(errorInfo);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IVelkin), com::S_OK);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(com::IID_IDispatch), com::S_FALSE);

    const ComPtr<com::IConnectionPointContainer> points = velkin.as<com::IConnectionPointContainer>();
    ASSERT_TRUE(points);
    com::IConnectionPoint* point = reinterpret_cast<com::IConnectionPoint*>(1);
    EXPECT_EQ(points->FindConnectionPoint(DIID_IVelkinEvents, &point), com::CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point, nullptr);
    ComPtr<com::IEnumConnectionPoints> none;
    ASSERT_EQ(points->EnumConnectionPoints(none.put()), com::S_OK);
    com::IConnectionPoint* next = nullptr;
    std::uint32_t fetched = 7;
    EXPECT_EQ(none->Next(1, &next, &fetched), com::S_FALSE);
    EXPECT_EQ(fetched, 0u);

    unsigned count = 0;
    EXPECT_EQ(velkin->GetTypeInfoCount(&count), com::S_OK);
    EXPECT_EQ(count, 1u);
    std::vector<com::DISPID> ids;
    EXPECT_EQ(velkin->GetIDsOfNames({"savedoc"}, &ids), com::S_OK);
    EXPECT_EQ(ids, std::vector<com::DISPID>{kDispidSaveDoc});
    EXPECT_EQ(velkin->GetIDsOfNames({"SaveImg"}, &ids), com::S_OK);
    EXPECT_EQ(ids, std::vector<com::DISPID>{kDispidSaveImg});
  }
  EXPECT_EQ(canUnloadNow(), com::S_OK) << "every object released";
}

TEST_F(Marrowind, ResultsForMissingWrongAndCancelledDocuments) {
  ComPtr<IVelkin> velkin = library_.createVelkin();
  ASSERT_TRUE(velkin);
  EXPECT_EQ(velkin->SaveDoc(nullptr), com::S_FALSE);
  EXPECT_EQ(velkin->SaveSelDoc(nullptr), com::S_FALSE);
  EXPECT_EQ(velkin->SaveImg(nullptr, "a.png"), com::E_FAIL);
  // Another automation object is no HTML document.
  ComPtr<IVelkin> other = library_.createVelkin();
  EXPECT_EQ(velkin->SaveDoc(other.get()), com::E_FAIL);
  EXPECT_EQ(velkin->SaveSelDoc(other.get()), com::E_FAIL);
  EXPECT_EQ(velkin->SaveImg(other.get(), "a.png"), com::E_FAIL);
  // The same through IDispatch, as a script calls it.
  std::vector<com::Variant> arguments{static_cast<com::IDispatch*>(nullptr)};
  EXPECT_EQ(velkin->Invoke(kDispidSaveDoc, arguments, nullptr), com::S_FALSE);

  const ComPtr<com::IHTMLDocument2> document =
      documentFrom(R"({"url":"http://127.0.0.1:9/p.html","title":"P","all":[{"tagName":"HTML","outerHTML":"<html></html>"}]})");
  whenDialogOpens([](QWidget* dialog) { dialog->findChild<QPushButton*>("cancel")->click(); });
  EXPECT_EQ(velkin->SaveDoc(document.get()), com::S_FALSE);
  EXPECT_TRUE(testing::sortedNamesIn(book_).empty());
  // A selection that cannot be read saves nothing, after the dialog.
  whenDialogOpens(saveInto);
  EXPECT_EQ(velkin->SaveSelDoc(document.get()), com::S_FALSE);
  EXPECT_TRUE(testing::sortedNamesIn(book_).empty());
}

// Each method composes its page from the document and captures it with
// the picture it names into the category chosen in the dialog.
TEST_F(Marrowind, EachMethodWritesItsPageWithThePictureAndHeader) {
  testing::DirectLoopback direct;
  testing::LoopbackServer server;
  ASSERT_TRUE(server.start());
  server.serve("/news/pic.png", "PNG picture", "image/png");
  const std::string url = server.url("/news/story.html");
  const std::string json =
      R"({"url":")" + url + R"(","title":"Story","all":[{"tagName":"HTML","outerHTML":)"
      R"("<html><head><title>Story</title></head><body><p>intro</p><img src=\"pic.png\"></body></html>"}],)"
      R"("styleSheets":[{"cssText":"p { color: red }"}],"selection":{"htmlText":"<B>chosen</B><IMG src=\"pic.png\">"}})";
  struct Case {
    const char* name;
    std::function<com::HRESULT(IVelkin&, com::IDispatch*)> call;
    std::vector<std::string> inPage;
  };
  const Case cases[] = {
      {"whole", [](IVelkin& v, com::IDispatch* d) { return v.SaveDoc(d); }, {"<P>intro</P>", "<TITLE>Story</TITLE>"}},
      {"selection", [](IVelkin& v, com::IDispatch* d) { return v.SaveSelDoc(d); },
       {"<TITLE>selection</TITLE>", "p { color: red }", "<B>chosen</B>"}},
      {"picture", [&](IVelkin& v, com::IDispatch* d) { return v.SaveImg(d, server.url("/news/pic.png")); },
       {"<TITLE>picture</TITLE>", "border=0"}},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.name);
    const ComPtr<com::IHTMLDocument2> document = documentFrom(json);
    ComPtr<IVelkin> velkin = library_.createVelkin();
    whenDialogOpens([&each](QWidget* dialog) {
      EXPECT_EQ(dialog->findChild<QLineEdit*>("fileName")->text(), "Story");
      dialog->findChild<QLineEdit*>("fileName")->setText(each.name);
      saveInto(dialog);
    });
    EXPECT_EQ(each.call(*velkin.get(), document.get()), com::S_OK);
    const std::string page = book_ + "/" + each.name + ".htm";
    const std::string text = readTextFile(page);
    EXPECT_EQ(kb::readMetaValue(page, kb::kPageUrlName), platform::toAsciiUpper(url));
    for (const std::string& expected : each.inPage) EXPECT_NE(text.find(expected), std::string::npos) << text;
    EXPECT_NE(text.find("src=\"" + std::string(each.name) + ".files/pic.png\""), std::string::npos) << text;
    EXPECT_EQ(readTextFile(book_ + "/" + each.name + ".files/pic.png"), "PNG picture");
  }
}

TEST_F(Marrowind, RegisterAndUnregisterFromAFolderWithBlanks) {
  const std::string folder = path("lib with blanks");
  testing::makeDirs(folder);
  const std::string library = folder + "/libmarrowind.so";
  std::filesystem::copy_file(VELKIN_MARROWIND_PATH, library);
  // The native host is a program of its own; any executable stands in here.
  const std::string host = folder + "/marrowind-host";
  std::filesystem::copy_file("/bin/true", host);
  ASSERT_EQ(runProgram({VELKIN_CLI_PATH, "register", library, "--host", host}).status, 0);

  platform::Registry registry(configDir());
  using platform::RegistryRoot;
  const std::string clsid = "CLSID\\{7B2EC9CF-3C72-4DE4-B15D-7556A156564D}";
  const std::string menu = "SOFTWARE\\Microsoft\\Internet Explorer\\MenuExt";
  const std::string button = "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\{7B2EC9CF-3C72-4DE4-B15D-7556A156564D}";
  EXPECT_EQ(registry.readString(RegistryRoot::Classes, clsid + "\\InprocServer32", ""), library);
  EXPECT_EQ(registry.readString(RegistryRoot::Classes, clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(registry.readString(RegistryRoot::Classes, "Marrowind.Velkin\\CurVer", ""), "Marrowind.Velkin.1");
  EXPECT_EQ(registry.readString(RegistryRoot::User, menu + "\\Save web page to Kestrova", ""),
            "res://" + library + "/Doc.htm");
  EXPECT_EQ(registry.readDword(RegistryRoot::User, menu + "\\Save selection to Kestrova", "Contexts"), 16u);
  EXPECT_EQ(registry.readDword(RegistryRoot::User, menu + "\\Save picture to Kestrova", "Contexts"), 2u);
  EXPECT_EQ(registry.readString(RegistryRoot::Machine, button, "Icon"), library + ",230");
  EXPECT_EQ(registry.readString(RegistryRoot::Classes, "TypeLib\\{F59417A0-C54E-4F3B-9F64-210209088CF6}\\1.0", ""),
            "Marrowind 1.0 Type Library");

  ASSERT_EQ(runProgram({VELKIN_CLI_PATH, "unregister", library}).status, 0);
  EXPECT_TRUE(registry.openKey(RegistryRoot::Classes, "CLSID").has_value());
  EXPECT_TRUE(registry.openKey(RegistryRoot::User, menu).has_value());
  EXPECT_TRUE(registry.openKey(RegistryRoot::Machine, "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions").has_value());
  for (const char* entry : {"Save web page to Kestrova", "Save selection to Kestrova", "Save picture to Kestrova"}) {
    EXPECT_FALSE(registry.openKey(RegistryRoot::User, menu + "\\" + entry).has_value()) << entry;
  }
  EXPECT_FALSE(registry.openKey(RegistryRoot::Machine, button).has_value());
  EXPECT_FALSE(registry.openKey(RegistryRoot::Classes, clsid).has_value());
  EXPECT_FALSE(registry.openKey(RegistryRoot::Classes, "Marrowind.Velkin").has_value());
}

}  // namespace
}  // namespace velkin::iecapture
