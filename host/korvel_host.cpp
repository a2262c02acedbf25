// KorvelHost.exe: the native messaging host of the browser extension. The
// browser starts it for one request: a 32-bit length and that many bytes of
// UTF-8 JSON on standard input, the calling extension named in the arguments.
// The host serves only its build's extensions, checks the request and its
// origin, drives KorvelTool.dll from beside the exe (the same dialog, checks
// and signature as a page gets), writes one answer the same way on standard
// output and exits 0. See host/text/native_message.h for the answers.
#include <windows.h>
#include <ocidl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "KorvelTool_h.h"
#include "control/text/site_lock.h"
#include "framework/com_ptr.h"
#include "framework/handles.h"
#include "framework/hosting/client_site.h"
#include "framework/hosting/host_object.h"
#include "framework/hosting/page_document.h"
#include "host/text/caller.h"
#include "host/text/native_message.h"

namespace {

using framework::ComPtr;
using framework::UniqueBstr;
using korvel::host::Request;

void freeArguments(LPWSTR* arguments) { LocalFree(arguments); }
using UniqueArguments = framework::UniqueAny<LPWSTR*, freeArguments>;

// The arguments the browser started the host with, its own name left out;
// none when the command line does not read.
std::vector<std::u16string> startArguments() {
  int count = 0;
  const UniqueArguments arguments(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::u16string> texts;
  for (int i = 1; arguments && i < count; ++i) {
    texts.emplace_back(reinterpret_cast<const char16_t*>(arguments.get()[i]));
  }
  return texts;
}

bool readExactly(HANDLE input, char* buffer, DWORD size) {
  DWORD done = 0;
  while (done < size) {
    DWORD read = 0;
    if (!ReadFile(input, buffer + done, size - done, &read, nullptr) || read == 0) return false;
    done += read;
  }
  return true;
}

// The frame's JSON text, or false when the framing is bad. Reads no more than
// the header announces, so a huge length never makes the host wait for it.
bool readRequest(std::string& json) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char header[korvel::host::kFrameHeaderBytes];
  if (input == nullptr || input == INVALID_HANDLE_VALUE || !readExactly(input, header, sizeof header)) return false;
  const auto length = korvel::host::announcedLength(std::string_view(header, sizeof header));
  if (!length) return false;
  json.resize(*length);
  return readExactly(input, &json[0], *length);
}

// Reads the one request a refused caller sent and drops it unread, so that the
// browser's write of it completes and the browser takes the answer instead
// of failing on a pipe closed under it. A frame is at most 1 MiB.
void discardRequest() {
  std::string json;
  readRequest(json);
}

void writeAnswer(const std::string& json) {
  const std::string frame = korvel::host::frameAnswer(json);
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD written = 0;
  size_t done = 0;
  while (done < frame.size() &&
         WriteFile(output, frame.data() + done, static_cast<DWORD>(frame.size() - done), &written, nullptr) &&
         written > 0) {
    done += written;
  }
}

std::wstring dllBesideExe() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return std::wstring();
  std::wstring folder(path, length);
  folder.resize(folder.find_last_of(L"\\/") + 1);
  return folder + L"KorvelTool.dll";
}

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

HRESULT createControl(HMODULE dll, ComPtr<IKorvelIE>& control) {
  const auto getClassObject =
      reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  if (getClassObject == nullptr) return E_NOINTERFACE;
  ComPtr<IClassFactory> factory;
  HRESULT hr = getClassObject(CLSID_KorvelIE, IID_IClassFactory, factory.putVoid());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, IID_IKorvelIE, control.putVoid());
}

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
std::u16string_view utf16(const UniqueBstr& text) {
  return std::u16string_view(reinterpret_cast<const char16_t*>(text.get()), SysStringLen(text.get()));
}

HRESULT putText(IKorvelIE* control, HRESULT (STDMETHODCALLTYPE IKorvelIE::*put)(BSTR), const std::u16string& text) {
  UniqueBstr value(SysAllocStringLen(wide(text), static_cast<UINT>(text.size())));
  if (!value) return E_OUTOFMEMORY;
  return (control->*put)(value.get());
}

// The site a page's <object> element would give the control: its container is
// the requesting origin's document, whose URL is the origin and "/". A locked
// control reads it at SignRenewal; an unlocked one answers no IObjectWithSite.
HRESULT placeOnOriginPage(IKorvelIE* control, const std::u16string& origin, ComPtr<IObjectWithSite>& withSite) {
  if (FAILED(control->QueryInterface(IID_IObjectWithSite, withSite.putVoid()))) return S_OK;
  ComPtr<PageDocument> document;
  HRESULT hr = makeHostObject(&document, std::wstring(wide(origin)) + L"/");
  ComPtr<ClientSite> site;
  if (SUCCEEDED(hr)) hr = makeHostObject(&site, static_cast<IOleContainer*>(document.get()), nullptr);
  if (SUCCEEDED(hr)) hr = withSite->SetSite(static_cast<IOleClientSite*>(site.get()));
  return hr;
}

// The answer of one renewal through the control; the dialog runs inside SignRenewal.
std::string renew(IKorvelIE* control, const Request& request) {
  ComPtr<IObjectWithSite> withSite;
  HRESULT hr = placeOnOriginPage(control, request.origin, withSite);
  if (SUCCEEDED(hr)) hr = putText(control, &IKorvelIE::put_SelID_Title, request.title);
  if (SUCCEEDED(hr)) hr = putText(control, &IKorvelIE::put_SelID_Text, request.text);
  if (SUCCEEDED(hr)) hr = putText(control, &IKorvelIE::put_Server_Date, request.serverDate);
  if (SUCCEEDED(hr)) hr = putText(control, &IKorvelIE::put_IssuerDN, request.data);
  if (FAILED(hr)) return korvel::host::errorAnswer(korvel::host::kControlUnavailable);
  ULONG result = 0;
  hr = control->SignRenewal(&result);
  if (withSite) withSite->SetSite(nullptr);
  if (hr == E_ACCESSDENIED) return korvel::host::errorAnswer(korvel::host::kOriginNotAllowed);
  if (FAILED(hr)) return korvel::host::errorAnswer(korvel::host::kSignFailed);
  UniqueBstr signedMessage;
  UniqueBstr certificate;
  if (result == 0) {
    BSTR text = nullptr;
    hr = control->get_IssuerDN(&text);
    signedMessage.reset(text);
    text = nullptr;
    if (SUCCEEDED(hr)) hr = control->get_CertData(&text);
    certificate.reset(text);
    if (FAILED(hr)) return korvel::host::errorAnswer(korvel::host::kSignFailed);
  }
  return korvel::host::resultAnswer(result, utf16(signedMessage), utf16(certificate));
}

std::string answerRequest(const Request& request) {
  const std::wstring path = dllBesideExe();
  framework::UniqueLibrary dll(path.empty() ? nullptr : LoadLibraryW(path.c_str()));
  if (!dll) return korvel::host::errorAnswer(korvel::host::kControlUnavailable);
  std::string answer;
  {
    ComPtr<IKorvelIE> control;
    if (FAILED(createControl(dll.get(), control)) || !control) {
      return korvel::host::errorAnswer(korvel::host::kControlUnavailable);
    }
    answer = renew(control.get(), request);
  }
  return answer;
}

std::string answerInput() {
  std::string json;
  if (!readRequest(json)) return korvel::host::errorAnswer(korvel::host::kBadRequest);
  const std::optional<Request> request = korvel::host::parseRequest(json);
  if (!request) return korvel::host::errorAnswer(korvel::host::kBadRequest);
  if (!korvel::host::isOriginServed(request->origin, korvel::kAllowedOrigins)) {
    return korvel::host::errorAnswer(korvel::host::kOriginNotAllowed);
  }
  return answerRequest(*request);
}

// Browsers start their host hidden (STARTF_USESHOWWINDOW, SW_HIDE), and the
// first window a process shows takes that start-up state instead of its own:
// the unowned selection dialog would stay invisible while it waits for the
// user. A window of ours that is never seen, shown with SW_SHOWDEFAULT,
// which always takes the start-up state, uses it up first.
void useUpHiddenStart() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  if ((startup.dwFlags & STARTF_USESHOWWINDOW) == 0 || startup.wShowWindow != SW_HIDE) return;
  HWND unseen = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (unseen == nullptr) return;
  ShowWindow(unseen, SW_SHOWDEFAULT);
  DestroyWindow(unseen);
}

}  // namespace

// A window program (no console of its own); the browser gives it pipes as
// standard input and output. The selection dialog is the first window the
// process shows: a process the foreground browser started may take the
// foreground, so it comes up in front of the browser.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  try {
    // Before anything else: a caller that is not this build's gets no window,
    // no request reading and no DLL.
    if (!korvel::host::isCallerServed(startArguments(), korvel::host::kServedChromeIds,
                                      korvel::host::kServedFirefoxIds)) {
      discardRequest();
      writeAnswer(korvel::host::errorAnswer(korvel::host::kCallerNotAllowed));
      return 0;
    }
    useUpHiddenStart();
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string answer =
        SUCCEEDED(hr) ? answerInput() : korvel::host::errorAnswer(korvel::host::kControlUnavailable);
    if (SUCCEEDED(hr)) CoUninitialize();
    writeAnswer(answer);
  } catch (...) {
    // Only allocation can throw here: there is no memory to build an answer in.
    return 1;
  }
  return 0;
}
