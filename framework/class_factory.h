#pragma once
#include <windows.h>
#include <unknwn.h>

namespace framework {

using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// The cached class object of one class. The object map holds one reference
// that does not keep the module loaded; any reference beyond it raises the
// module's lock count by exactly one.
class CachedClassFactory final : public IClassFactory {
 public:
  // Builds one for `creator` and asks it for riid.
  static HRESULT Create(InstanceCreator creator, REFIID riid, void** ppv);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  explicit CachedClassFactory(InstanceCreator creator) : creator_(creator) {}
  ~CachedClassFactory();

  LONG refCount_ = 0;
  CRITICAL_SECTION lock_{};
  bool lockCreated_ = false;
  InstanceCreator creator_;
};

}  // namespace framework
