#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/registrar.h"
#include "platform/com/type_library.h"
#include "platform/registry.h"
#include "support/test_support.h"

namespace velkin::com {
namespace {

using platform::Registry;
using platform::RegistryRoot;
using velkin::testing::IsolatedTest;

constexpr RegistryRoot HKCR = RegistryRoot::Classes;
constexpr RegistryRoot HKCU = RegistryRoot::User;
constexpr RegistryRoot HKLM = RegistryRoot::Machine;

// Every mark, default and named values, both value types and placeholders.
constexpr const char* kScript = R"(
HKCR
{
  Sample.Thing.1 = s 'Thing Class'
  {
    CLSID = s '{7B2EC9CF-3C72-4DE4-B15D-7556A156564D}'
  }
  Sample.Lonely = s 'Lonely'
  NoRemove CLSID
  {
    ForceRemove {7B2EC9CF-3C72-4DE4-B15D-7556A156564D} = s 'Thing Class'
    {
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Apartment'
      }
      ForceRemove 'Programmable'
    }
  }
}
HKEY_CURRENT_USER
{
  NoRemove Software
  {
    'Menu Ext'
    {
      ForceRemove 'Save it' = s 'res://%MODULEPATH%/Doc.htm'
      {
        val Contexts = d 16
        val 'It''s' = s '100%%'
      }
    }
  }
}
hklm
{
  Stale
  {
    Delete Old
  }
}
)";

const Placeholders kPlaceholders{{"MODULE", "/opt/o'brien {x}/lib thing.so"},
                                 {"ModulePath", "/opt/o'brien {x}"}};

class RegistrarTest : public IsolatedTest {
 protected:
  bool exists(RegistryRoot root, const std::string& path) { return registry_.openKey(root, path).has_value(); }
  std::optional<std::string> text(RegistryRoot root, const std::string& path, const std::string& name = "") {
    return registry_.readString(root, path, name);
  }
  bool storeIsEmpty() {
    for (RegistryRoot root : {HKCR, HKCU, HKLM}) {
      if (!registry_.openKey(root, "")->subkeys().empty()) return false;
    }
    return true;
  }

  Registry registry_{configDir()};
  Registrar registrar_{registry_, kPlaceholders};
};

TEST_F(RegistrarTest, RegisterWritesTheScriptAndUnregisterHonoursEveryMark) {
  const std::string clsid = "CLSID\\{7B2EC9CF-3C72-4DE4-B15D-7556A156564D}";
  // What was there before: a stale subkey under the forced key, other
  // programs' keys and values, and a key the script deletes.
  ASSERT_TRUE(registry_.createKey(HKCR, clsid + "\\Leftover"));
  ASSERT_TRUE(registry_.createKey(HKCR, "CLSID\\{00000000-1111-2222-3333-444444444444}"));
  ASSERT_TRUE(registry_.createKey(HKCR, "Sample.Thing.1\\Foreign"));
  ASSERT_TRUE(registry_.writeString(HKCU, "Software\\Menu Ext", "Foreign", "kept"));
  ASSERT_TRUE(registry_.createKey(HKLM, "Stale\\Old\\Inside"));

  ASSERT_EQ(registrar_.registerScript(kScript), S_OK) << registrar_.lastError();
  EXPECT_EQ(text(HKCR, "Sample.Thing.1"), "Thing Class");
  EXPECT_EQ(text(HKCR, "sample.thing.1\\clsid"), "{7B2EC9CF-3C72-4DE4-B15D-7556A156564D}");
  EXPECT_EQ(text(HKCR, clsid), "Thing Class");
  EXPECT_EQ(text(HKCR, clsid + "\\InprocServer32"), "/opt/o'brien {x}/lib thing.so");
  EXPECT_EQ(text(HKCR, clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_TRUE(exists(HKCR, clsid + "\\Programmable"));
  EXPECT_FALSE(exists(HKCR, clsid + "\\Leftover")) << "ForceRemove clears the key before writing it";
  const std::string saveIt = "Software\\Menu Ext\\Save it";
  EXPECT_EQ(text(HKCU, saveIt), "res:///opt/o'brien {x}/Doc.htm");
  EXPECT_EQ(registry_.readDword(HKCU, saveIt, "Contexts"), 16u);
  EXPECT_EQ(text(HKCU, saveIt, "It's"), "100%");
  EXPECT_TRUE(exists(HKLM, "Stale"));
  EXPECT_FALSE(exists(HKLM, "Stale\\Old")) << "Delete removes the key with its subtree";

  // Registering again changes nothing.
  const std::string before = registry_.exportText(HKCR, "");
  ASSERT_EQ(registrar_.registerScript(kScript), S_OK);
  EXPECT_EQ(registry_.exportText(HKCR, ""), before);

  ASSERT_EQ(registrar_.unregisterScript(kScript), S_OK) << registrar_.lastError();
  struct Expectation {
    RegistryRoot root;
    std::string path;
    bool kept;
  };
  const Expectation after[] = {
      {HKCR, "CLSID", true},                                       // NoRemove
      {HKCR, "CLSID\\{00000000-1111-2222-3333-444444444444}", true},  // not in the script
      {HKCR, clsid, false},                                        // ForceRemove, with its subtree
      {HKCR, "Sample.Thing.1", true},                              // plain, still holds Foreign
      {HKCR, "Sample.Thing.1\\CLSID", false},                      // plain, emptied
      {HKCR, "Sample.Lonely", false},                              // plain, emptied
      {HKCU, "Software", true},                                    // NoRemove
      {HKCU, "Software\\Menu Ext", true},                          // plain, still holds a value
      {HKCU, saveIt, false},                                       // ForceRemove
      {HKLM, "Stale", false},                                      // plain, emptied by Delete
  };
  for (const Expectation& e : after) EXPECT_EQ(exists(e.root, e.path), e.kept) << e.path;
  EXPECT_EQ(text(HKCR, "Sample.Thing.1"), std::nullopt) << "the script's default value goes";
  EXPECT_EQ(text(HKCU, "Software\\Menu Ext", "Foreign"), "kept");

  // Unregistering what is not there is no failure.
  EXPECT_EQ(registrar_.unregisterScript(kScript), S_OK);
}

TEST_F(RegistrarTest, ScriptsThatDoNotParseFailAndWriteNothing) {
  const std::string valid = "HKCR { Written = s 'x' { val N = d 1 } }\n";
  struct Case {
    const char* name;
    std::string script;
  };
  std::string bomb = "HKCR {";
  for (int i = 0; i < 100000; ++i) bomb += " a {";
  const Case cases[] = {
      {"unterminated string", valid + "HKCR { Key = s 'open }"},
      {"unclosed brace", valid + "HKCR { Key { val N = s 'x' }"},
      {"extra closing brace", valid + "HKCR { Key } }"},
      {"depth bomb", valid + bomb},
      {"unknown root", valid + "HKEY_USERS { Key }"},
      {"missing root block", valid + "HKCR Key = s 'x'"},
      {"unknown placeholder", valid + "HKCR { Key = s '%NOPE%' }"},
      {"unclosed placeholder", valid + "HKCR { Key = s '50%' }"},
      {"number too large", valid + "HKCR { Key { val N = d 4294967296 } }"},
      {"number with letters", valid + "HKCR { Key { val N = d 12ab } }"},
      {"odd hex bytes", valid + "HKCR { Key { val N = b '0a1' } }"},
      {"unknown value type", valid + "HKCR { Key = x 'y' }"},
      {"value outside a key", valid + "HKCR { val N = s 'x' }"},
      {"value without data", valid + "HKCR { Key { val N = s } }"},
      {"backslash in a name", valid + "HKCR { 'A\\B' }"},
      {"empty name", valid + "HKCR { '' = s 'x' }"},
      {"NUL byte", valid + std::string("HKCR { K\0ey }", 13)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(registrar_.registerScript(c.script), E_FAIL) << c.name;
    EXPECT_NE(registrar_.lastError().find("line "), std::string::npos) << c.name << ": " << registrar_.lastError();
    EXPECT_EQ(registrar_.unregisterScript(c.script), E_FAIL) << c.name;
  }
  EXPECT_TRUE(storeIsEmpty());
}

TEST_F(RegistrarTest, NestingIsAllowedUpToTheLimit) {
  const auto nested = [](int depth) {
    std::string script = "HKCU {";
    for (int i = 0; i < depth; ++i) script += " k {";
    for (int i = 0; i < depth; ++i) script += " }";
    return script + " }";
  };
  EXPECT_EQ(registrar_.registerScript(nested(kMaxScriptDepth + 1)), E_FAIL);
  EXPECT_TRUE(storeIsEmpty());
  ASSERT_EQ(registrar_.registerScript(nested(kMaxScriptDepth)), S_OK) << registrar_.lastError();
  std::string deepest = "k";
  for (int i = 1; i < kMaxScriptDepth; ++i) deepest += "\\k";
  EXPECT_TRUE(exists(HKCU, deepest));
  ASSERT_EQ(registrar_.unregisterScript(nested(kMaxScriptDepth)), S_OK);
  EXPECT_TRUE(storeIsEmpty());
}

TEST_F(RegistrarTest, TypeLibraryKeysAreWrittenAndRemovedPerVersion) {
  const GUID libid = *parseGuid("{F59417A0-C54E-4F3B-9F64-210209088CF6}");
  const GUID iid = *parseGuid("{331E6A33-725D-4045-9585-E20EFF2BCFFD}");
  const GUID taken = *parseGuid("{B00EABB2-0CE7-4E6B-8BB7-00E3158B0EB6}");
  TypeLibraryInfo one{libid, "1.0", "Sample 1.0 Type Library", "/opt/my libs/libsample.so", "/opt/my libs",
                      {{iid, "ISample"}, {taken, "ITaken"}}};
  TypeLibraryInfo two = one;
  two.version = "2.0";
  two.interfaces.clear();
  ASSERT_EQ(registerTypeLibrary(registry_, one), S_OK);
  ASSERT_EQ(registerTypeLibrary(registry_, two), S_OK);
  // Another library registered ITaken since.
  ASSERT_TRUE(registry_.writeString(HKCR, "Interface\\" + formatGuid(taken) + "\\TypeLib", "",
                                    "{00000000-0000-0000-0000-000000000001}"));

  const std::string lib = "TypeLib\\{F59417A0-C54E-4F3B-9F64-210209088CF6}";
  const std::string itf = "Interface\\{331E6A33-725D-4045-9585-E20EFF2BCFFD}";
  EXPECT_EQ(text(HKCR, lib + "\\1.0"), "Sample 1.0 Type Library");
  EXPECT_EQ(text(HKCR, lib + "\\1.0\\0\\" + typeLibraryPlatformKey()), "/opt/my libs/libsample.so");
  EXPECT_EQ(text(HKCR, lib + "\\1.0\\FLAGS"), "0");
  EXPECT_EQ(text(HKCR, lib + "\\1.0\\HELPDIR"), "/opt/my libs");
  EXPECT_EQ(text(HKCR, itf), "ISample");
  EXPECT_EQ(text(HKCR, itf + "\\ProxyStubClsid32"), "{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(text(HKCR, itf + "\\TypeLib"), "{F59417A0-C54E-4F3B-9F64-210209088CF6}");
  EXPECT_EQ(text(HKCR, itf + "\\TypeLib", "Version"), "1.0");

  ASSERT_EQ(unregisterTypeLibrary(registry_, one), S_OK);
  EXPECT_FALSE(exists(HKCR, lib + "\\1.0"));
  EXPECT_TRUE(exists(HKCR, lib + "\\2.0")) << "another version keeps the library key";
  EXPECT_FALSE(exists(HKCR, itf));
  EXPECT_TRUE(exists(HKCR, "Interface\\" + formatGuid(taken))) << "owned by another library now";
  ASSERT_EQ(unregisterTypeLibrary(registry_, two), S_OK);
  EXPECT_FALSE(exists(HKCR, lib));
  EXPECT_EQ(unregisterTypeLibrary(registry_, two), S_OK);

  for (const char* version : {"", "1", "1.", ".0", "1.0\\x", "a.b"}) {
    two.version = version;
    EXPECT_EQ(registerTypeLibrary(registry_, two), E_INVALIDARG) << version;
  }
}

}  // namespace
}  // namespace velkin::com
