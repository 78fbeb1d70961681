#include <string>
#include <unordered_set>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/connection_points.h"
#include "platform/com/dispatch.h"
#include "platform/com/guid.h"
#include "platform/com/html_document.h"
#include "platform/com/object.h"

namespace velkin::com {
namespace {

constexpr GUID IID_ISample{0x331E6A33, 0x725D, 0x4045, {0x95, 0x85, 0xE2, 0x0E, 0xFF, 0x2B, 0xCF, 0xFD}};

class ISample : public IDispatch {
 public:
  static const GUID& iid() { return IID_ISample; }
  virtual HRESULT Twice(std::int32_t in, std::int32_t* out) = 0;

 protected:
  ~ISample() = default;
};

// A dual object shaped like the browser integration's capture object.
class Sample final : public ComObject<DispatchFromTable<ISample>, ISupportErrorInfo, IConnectionPointContainer> {
 public:
  static inline int alive = 0;

  explicit Sample(ModuleLock& lock) : ComObject(&lock) {
    ++alive;
    dispatchTable().add({"Twice", 1, 1, [this](const std::vector<Variant>& args, Variant* result) {
                           const auto* in = std::get_if<std::int32_t>(&args[0]);
                           if (!in) return DISP_E_TYPEMISMATCH;
                           std::int32_t out = 0;
                           const HRESULT hr = Twice(*in, &out);
                           *result = out;
                           return hr;
                         }});
  }
  ~Sample() override { --alive; }

  HRESULT Twice(std::int32_t in, std::int32_t* out) override {
    *out = 2 * in;
    return S_OK;
  }
  HRESULT InterfaceSupportsErrorInfo(const GUID& iid) override { return iid == IID_ISample ? S_OK : S_FALSE; }
  HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override {
    return enumerateNoConnectionPoints(moduleLock(), points);
  }
  HRESULT FindConnectionPoint(const GUID&, IConnectionPoint** point) override {
    return findNoConnectionPoint(point);
  }

 protected:
  IUnknown* findInterface(const GUID& iid) override {
    return lookupInterface(iid, {{&IID_ISample, static_cast<ISample*>(this)},
                                 {&IID_IDispatch, static_cast<ISample*>(this)},
                                 {&IID_ISupportErrorInfo, static_cast<ISupportErrorInfo*>(this)},
                                 {&IID_IConnectionPointContainer, static_cast<IConnectionPointContainer*>(this)}});
  }
};

// An outer object that aggregates a Sample and passes on only ISample.
class Outer final : public IUnknown {
 public:
  std::uint32_t refs = 1;
  ComPtr<IUnknown> inner;

  virtual ~Outer() = default;
  HRESULT QueryInterface(const GUID& iid, void** object) override {
    *object = nullptr;
    if (iid == IID_IUnknown) {
      AddRef();
      *object = static_cast<IUnknown*>(this);
      return S_OK;
    }
    if (iid == IID_ISample) return inner->QueryInterface(iid, object);
    return E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return ++refs; }
  std::uint32_t Release() override {
    const std::uint32_t left = --refs;
    if (left == 0) delete this;
    return left;
  }
};

template <class T>
ComPtr<T> query(IUnknown* object) {
  ComPtr<T> result;
  EXPECT_EQ(object->QueryInterface(T::iid(), result.putVoid()), S_OK);
  return result;
}

// A stand-alone Sample, asked for its interface I.
template <class I>
ComPtr<I> newSample(ModuleLock& lock) {
  ComPtr<I> object;
  EXPECT_EQ(createObject(nullptr, I::iid(), object.putVoid(), [&]() -> ComObjectCore* { return new Sample(lock); }),
            S_OK);
  return object;
}

ComPtr<ClassFactory<Sample>> newFactory(ModuleLock& lock) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(createObject(nullptr, IID_IClassFactory, factory.putVoid(),
                         [&]() -> ComObjectCore* { return new ClassFactory<Sample>(lock); }),
            S_OK);
  return ComPtr<ClassFactory<Sample>>(static_cast<ClassFactory<Sample>*>(factory.get()));
}

// Every object made is gone; once the factory goes too, the module may unload.
void expectUnloadableWithoutFactory(ComPtr<ClassFactory<Sample>>& factory, const ModuleLock& lock) {
  EXPECT_EQ(Sample::alive, 0);
  EXPECT_EQ(lock.count(), 1);
  factory.reset();
  EXPECT_TRUE(lock.canUnload());
}

TEST(ComGuid, ParsesOnlyTheBracedFormAndFormatsUpperCase) {
  const auto clsid = parseGuid("{7b2ec9cf-3c72-4de4-B15D-7556a156564d}");
  ASSERT_TRUE(clsid);
  EXPECT_EQ(clsid->Data1, 0x7B2EC9CFu);
  EXPECT_EQ(clsid->Data2, 0x3C72u);
  EXPECT_EQ(clsid->Data3, 0x4DE4u);
  EXPECT_EQ(clsid->Data4[0], 0xB1u);
  EXPECT_EQ(clsid->Data4[7], 0x4Du);
  EXPECT_EQ(formatGuid(*clsid), "{7B2EC9CF-3C72-4DE4-B15D-7556A156564D}");
  EXPECT_EQ(formatGuid(IID_IConnectionPoint), "{B196B286-BAB4-101A-B69C-00AA00341D07}");
  EXPECT_EQ(parseGuid(formatGuid(IID_ISupportErrorInfo)), IID_ISupportErrorInfo);

  const char* invalid[] = {
      "",
      "7B2EC9CF-3C72-4DE4-B15D-7556A156564D",
      "{7B2EC9CF-3C72-4DE4-B15D-7556A156564D",
      "7B2EC9CF-3C72-4DE4-B15D-7556A156564D}",
      "(7B2EC9CF-3C72-4DE4-B15D-7556A156564D)",
      "{7B2EC9CF-3C72-4DE4-B15D-7556A156564}",
      "{7B2EC9CF-3C72-4DE4-B15D-7556A156564DD}",
      "{7B2EC9CF3-C72-4DE4-B15D-7556A156564D}",
      "{7B2EC9CF-3C72-4DE4-B15D7-556A156564D}",
      "{7B2EC9CG-3C72-4DE4-B15D-7556A156564D}",
      "{7B2EC9CF-3C72-4DE4-B15D-7556A156564 }",
      "{+B2EC9CF-3C72-4DE4-B15D-7556A156564D}",
      " {7B2EC9CF-3C72-4DE4-B15D-7556A156564D}",
  };
  for (const char* text : invalid) EXPECT_FALSE(parseGuid(text)) << text;

  std::unordered_set<GUID, GuidHash> set{IID_IUnknown, IID_IClassFactory, IID_IDispatch, *clsid,
                                         *parseGuid("{00000000-0000-0000-C000-000000000046}")};
  EXPECT_EQ(set.size(), 4u);
}

TEST(ComObject, AnswersItsTableWithOneIdentityAndFreesItselfOnLastRelease) {
  ModuleLock lock;
  {
    ComPtr<ISample> sample = newSample<ISample>(lock);
    ASSERT_TRUE(sample);
    EXPECT_EQ(Sample::alive, 1);
    EXPECT_EQ(lock.count(), 1);

    auto dispatch = query<IDispatch>(sample.get());
    EXPECT_EQ(static_cast<IUnknown*>(dispatch.get()), static_cast<IUnknown*>(sample.get()));
    auto errors = query<ISupportErrorInfo>(sample.get());
    auto identity = query<IUnknown>(sample.get());
    EXPECT_EQ(query<IUnknown>(errors.get()).get(), identity.get());
    EXPECT_EQ(errors->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);

    void* none = &lock;
    EXPECT_EQ(sample->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(sample->QueryInterface(IID_ISample, nullptr), E_POINTER);

    // Four references now: sample, dispatch, errors, identity.
    EXPECT_EQ(sample->AddRef(), 5u);
    EXPECT_EQ(sample->Release(), 4u);
  }
  EXPECT_EQ(Sample::alive, 0);
  EXPECT_TRUE(lock.canUnload());
}

TEST(ComObject, ServerLocksAndFactoriesKeepTheModuleLoaded) {
  ModuleLock lock;
  auto factory = newFactory(lock);
  EXPECT_EQ(lock.count(), 1);  // a held factory is in use

  EXPECT_EQ(factory->LockServer(true), S_OK);
  factory.reset();
  EXPECT_FALSE(lock.canUnload());
  EXPECT_EQ(lock.lockServer(false), S_OK);
  EXPECT_TRUE(lock.canUnload());
  // A stray unlock does not push the count below the objects alive.
  EXPECT_EQ(lock.lockServer(false), E_UNEXPECTED);
  EXPECT_EQ(lock.count(), 0);
}

TEST(ComClassFactory, MakesANewObjectPerCallAndRefusesAggregationOfOtherInterfaces) {
  ModuleLock lock;
  auto factory = newFactory(lock);
  {
    ComPtr<ISample> first;
    ComPtr<ISample> second;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ISample, first.putVoid()), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_ISample, second.putVoid()), S_OK);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(Sample::alive, 2);

    ComPtr<IUnknown> refused;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, refused.putVoid()), E_NOINTERFACE);
    Outer* outer = new Outer;
    EXPECT_EQ(factory->CreateInstance(outer, IID_ISample, refused.putVoid()), CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(refused);
    EXPECT_EQ(Sample::alive, 2);
    outer->Release();
  }
  expectUnloadableWithoutFactory(factory, lock);
}

TEST(ComClassFactory, AggregatedObjectDelegatesItsInterfacesToTheOuterObject) {
  ModuleLock lock;
  auto factory = newFactory(lock);
  Outer* outer = new Outer;
  ASSERT_EQ(factory->CreateInstance(outer, IID_IUnknown, outer->inner.putVoid()), S_OK);
  EXPECT_EQ(Sample::alive, 1);

  ComPtr<ISample> sample = query<ISample>(outer);
  ASSERT_TRUE(sample);
  EXPECT_EQ(outer->refs, 2u);  // the interface's reference counts on the outer object
  // The inner object's interfaces answer as the aggregate: its identity is
  // the outer object's, and it offers only what the outer object passes on.
  EXPECT_EQ(query<IUnknown>(sample.get()).get(), static_cast<IUnknown*>(outer));
  ComPtr<ISupportErrorInfo> hidden;
  EXPECT_EQ(sample->QueryInterface(IID_ISupportErrorInfo, hidden.putVoid()), E_NOINTERFACE);
  // The inner IUnknown itself answers for the inner object's interfaces.
  EXPECT_TRUE(query<ISupportErrorInfo>(outer->inner.get()));
  EXPECT_NE(query<IUnknown>(outer->inner.get()).get(), static_cast<IUnknown*>(outer));
  std::int32_t twice = 0;
  EXPECT_EQ(sample->Twice(21, &twice), S_OK);
  EXPECT_EQ(twice, 42);

  sample.reset();
  EXPECT_EQ(outer->refs, 1u);
  outer->Release();
  expectUnloadableWithoutFactory(factory, lock);
}

TEST(ComDispatch, NamesIgnoreCaseAndInvokeChecksMemberAndArguments) {
  ModuleLock lock;
  ComPtr<IDispatch> dispatch = newSample<IDispatch>(lock);
  ASSERT_TRUE(dispatch);
  unsigned count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);

  struct NamesCase {
    std::vector<std::string> names;
    HRESULT result;
    std::vector<DISPID> ids;
  };
  const NamesCase names[] = {
      {{"Twice"}, S_OK, {1}},
      {{"tWICE"}, S_OK, {1}},
      {{"Thrice"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
      {{"Twice", "in"}, DISP_E_UNKNOWNNAME, {1, DISPID_UNKNOWN}},
      {{}, E_INVALIDARG, {}},
  };
  for (const NamesCase& c : names) {
    std::vector<DISPID> ids{7, 7, 7};
    EXPECT_EQ(dispatch->GetIDsOfNames(c.names, &ids), c.result) << ::testing::PrintToString(c.names);
    EXPECT_EQ(ids, c.ids) << ::testing::PrintToString(c.names);
  }

  struct InvokeCase {
    DISPID id;
    std::vector<Variant> args;
    HRESULT result;
  };
  const InvokeCase invokes[] = {
      {1, {std::int32_t{4}}, S_OK},
      {1, {}, DISP_E_BADPARAMCOUNT},
      {1, {std::int32_t{4}, std::int32_t{5}}, DISP_E_BADPARAMCOUNT},
      {1, {std::string("4")}, DISP_E_TYPEMISMATCH},
      {2, {std::int32_t{4}}, DISP_E_MEMBERNOTFOUND},
  };
  for (const InvokeCase& c : invokes) {
    Variant result = std::string("stale");
    EXPECT_EQ(dispatch->Invoke(c.id, c.args, &result), c.result) << c.id << " " << c.args.size();
    if (c.result == S_OK) {
      EXPECT_EQ(result, Variant(std::int32_t{8}));
    } else {
      EXPECT_EQ(result, Variant()) << "a failed call leaves no stale result";
    }
  }
  EXPECT_EQ(dispatch->Invoke(1, {std::int32_t{1}}, nullptr), S_OK);
}

TEST(ComConnectionPoints, NoPointIsFoundAndTheEnumeratorIsEmpty) {
  ModuleLock lock;
  {
    ComPtr<IConnectionPointContainer> container = newSample<IConnectionPointContainer>(lock);
    ASSERT_TRUE(container);
    IConnectionPoint* point = reinterpret_cast<IConnectionPoint*>(&lock);
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point, nullptr);

    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.put()), S_OK);
    EXPECT_EQ(lock.count(), 2);  // the enumerator keeps the module too
    IConnectionPoint* found[2] = {nullptr, nullptr};
    std::uint32_t fetched = 9;
    EXPECT_EQ(points->Next(1, found, nullptr), S_FALSE);
    EXPECT_EQ(points->Next(2, found, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(points->Next(2, found, nullptr), E_POINTER);
    EXPECT_EQ(points->Skip(1), S_FALSE);
    EXPECT_EQ(points->Reset(), S_OK);
    ComPtr<IEnumConnectionPoints> copy;
    ASSERT_EQ(points->Clone(copy.put()), S_OK);
    EXPECT_EQ(copy->Next(1, found, nullptr), S_FALSE);
  }
  EXPECT_TRUE(lock.canUnload());
}

}  // namespace
}  // namespace velkin::com

namespace velkin::com {
namespace {

// A snapshot message becomes a document answering IHTMLDocument2 and
// IDispatch (URL and title as properties); a malformed one is E_FAIL.
TEST(ComHtmlDocument, MessagesBecomeDocumentsOrFailCleanly) {
  ComPtr<IHTMLDocument2> document;
  ASSERT_EQ(createDocumentFromMessage(R"({"url":"http://h/p","title":"T"})", document.put()), S_OK);
  EXPECT_EQ(document->snapshot().url(), "http://h/p");
  const ComPtr<IDispatch> dispatch = document.as<IDispatch>();
  ASSERT_TRUE(dispatch);
  std::vector<DISPID> ids;
  ASSERT_EQ(dispatch->GetIDsOfNames({"title"}, &ids), S_OK);
  Variant title;
  EXPECT_EQ(dispatch->Invoke(ids[0], {}, &title), S_OK);
  EXPECT_EQ(std::get<std::string>(title), "T");
  for (const char* bad : {"", "not json", R"({"title":"no url"})", R"({"url":5})", "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[["}) {
    EXPECT_EQ(createDocumentFromMessage(bad, document.put()), E_FAIL) << bad;
    EXPECT_FALSE(document);
  }
  EXPECT_EQ(createDocumentFromMessage("{}", nullptr), E_POINTER);
}

// A page's window: the top names itself as parent, its frames name it while
// it lives and themselves once it is gone (never a freed window); one
// unreadable frame fails the whole window.
TEST(ComHtmlDocument, WindowsHoldTheirFramesAndFramesNeverOutliveTheirParent) {
  ComPtr<IHTMLWindow2> top;
  ASSERT_EQ(createWindowFromMessages(R"({"url":"http://h/"})", {R"({"url":"http://h/a"})", R"({"url":"http://h/b"})"},
                                     top.put()),
            S_OK);
  ASSERT_EQ(top->frameCount(), 2);
  ComPtr<IHTMLWindow2> parent;
  ASSERT_EQ(top->get_parent(parent.put()), S_OK);
  EXPECT_EQ(parent.get(), top.get());
  ComPtr<IDispatch> second;
  ASSERT_EQ(top->frame(1, second.put()), S_OK);
  EXPECT_EQ(top->frame(2, second.put()), E_INVALIDARG);
  ASSERT_EQ(top->frame(1, second.put()), S_OK);
  const ComPtr<IHTMLWindow2> frame = second.as<IHTMLWindow2>();
  ASSERT_TRUE(frame);
  ComPtr<IHTMLDocument2> document;
  ASSERT_EQ(frame->get_document(document.put()), S_OK);
  EXPECT_EQ(document->snapshot().url(), "http://h/b");
  ASSERT_EQ(frame->get_parent(parent.put()), S_OK);
  EXPECT_EQ(parent.get(), top.get());

  parent = nullptr;
  top = nullptr;
  ASSERT_EQ(frame->get_parent(parent.put()), S_OK);
  EXPECT_EQ(parent.get(), frame.get());

  EXPECT_EQ(createWindowFromMessages(R"({"url":"http://h/"})", {"not json"}, top.put()), E_FAIL);
  EXPECT_FALSE(top);
}

}  // namespace
}  // namespace velkin::com
