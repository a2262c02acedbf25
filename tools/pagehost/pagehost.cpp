// pagehost: runs a page's scripts with the system's JScript engine the way a
// browser runs them, so that a control meets what a page gives it: the
// engine in safe mode, the browser's security manager, a document with the
// page's address and, for an <object> element, a client site.
//
//   pagehost [/object [/clsid CLSID]] [/trace] /url PAGE_URL SCRIPT_FILE...
#include <windows.h>
#include <activscp.h>
#include <objsafe.h>

#include <string>
#include <vector>

#include "KorvelTool_h.h"
#include "framework/com_module.h"
#include "framework/file_bytes.h"
#include "framework/handles.h"
#include "framework/hosting/client_site.h"
#include "tools/pagehost/host_echo.h"
#include "tools/pagehost/host_output.h"
#include "framework/hosting/page_document.h"
#include "tools/pagehost/page_elements.h"
#include "tools/pagehost/script_document.h"
#include "tools/pagehost/script_site.h"
#include "tools/pagehost/security_manager.h"

namespace {

using framework::ComPtr;

constexpr int kExitScriptFailed = 1;
constexpr int kExitUsage = 2;

// The options a browser sets on a page's script engine.
constexpr DWORD kEngineSafety =
    INTERFACESAFE_FOR_UNTRUSTED_DATA | INTERFACE_USES_DISPEX | INTERFACE_USES_SECURITY_MANAGER;

struct Options {
  bool objectElement = false;
  bool trace = false;
  CLSID controlClass = CLSID_KorvelIE;
  std::wstring url;
  std::vector<std::wstring> files;
};

// A browser's window is the script's global object, with the document among its members.
constexpr wchar_t kWindowScript[] = L"var window = this;\nwindow.document = document;\n";

void printUsage() {
  printError(
      L"usage: pagehost [/object [/clsid CLSID]] [/trace] /url PAGE_URL SCRIPT_FILE...\n"
      L"  Runs each SCRIPT_FILE (JScript; UTF-8, or UTF-16 with a byte order mark) in\n"
      L"  turn as a script block of the page at PAGE_URL, with the engine in a\n"
      L"  browser's safe mode; an error in one block does not stop the next.\n"
      L"  The scripts print with host.echo(text); they have window (the global\n"
      L"  object), document.URL and document.getElementsByTagName.\n"
      L"  /object   the page has the control as an <object> element: the host\n"
      L"            creates it, confirms it is safe for scripting, gives it a\n"
      L"            client site and names the element korvel for the script\n"
      L"  /clsid    the <object> element's class, {...} (default: the KorvelIE control)\n"
      L"  /trace    print the security manager's and the services' calls on stderr\n"
      L"  Exit code 0 when the script ran without an uncaught error.");
}

bool isOption(const wchar_t* argument, const wchar_t* name) {
  return (argument[0] == L'/' || argument[0] == L'-') && lstrcmpiW(argument + 1, name) == 0;
}

bool parseArguments(int argc, wchar_t** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const wchar_t* argument = argv[i];
    if (isOption(argument, L"object")) {
      options->objectElement = true;
    } else if (isOption(argument, L"trace")) {
      options->trace = true;
    } else if (isOption(argument, L"clsid")) {
      if (++i == argc || FAILED(CLSIDFromString(argv[i], &options->controlClass))) return false;
    } else if (isOption(argument, L"url")) {
      if (++i == argc || argv[i][0] == L'\0') return false;
      options->url = argv[i];
    } else if (argument[0] == L'/' || argument[0] == L'-') {
      return false;
    } else {
      options->files.push_back(argument);
    }
  }
  return !options->url.empty() && !options->files.empty();
}

HRESULT fromUtf8(const char* bytes, size_t size, std::wstring* text) {
  text->clear();
  if (size == 0) return S_OK;
  int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(size), nullptr, 0);
  if (length == 0) return framework::hresultFromLastError();
  text->resize(static_cast<size_t>(length));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(size), &(*text)[0], length);
  return S_OK;
}

HRESULT fromUtf16(const std::string& bytes, bool bigEndian, std::wstring* text) {
  if (bytes.size() % 2 != 0) return HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
  text->clear();
  for (size_t i = 2; i < bytes.size(); i += 2) {
    auto first = static_cast<unsigned char>(bytes[i]);
    auto second = static_cast<unsigned char>(bytes[i + 1]);
    text->push_back(static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  return S_OK;
}

// UTF-16 after its byte order mark, otherwise UTF-8 with or without one.
HRESULT scriptText(const std::string& bytes, std::wstring* text) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) return fromUtf16(bytes, false, text);
  if (bytes.compare(0, 2, "\xFE\xFF") == 0) return fromUtf16(bytes, true, text);
  size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  return fromUtf8(bytes.data() + start, bytes.size() - start, text);
}

void reportFailure(const wchar_t* what, HRESULT hr) {
  printError(std::wstring(what) + L": " + hexText(static_cast<ULONG>(hr)));
}

bool readScripts(const std::vector<std::wstring>& files, std::vector<std::wstring>* blocks) {
  for (const std::wstring& file : files) {
    std::string bytes;
    std::wstring text;
    HRESULT hr = framework::readFileBytes(file, &bytes);
    if (SUCCEEDED(hr)) hr = scriptText(bytes, &text);
    if (FAILED(hr)) {
      reportFailure((L"cannot read " + file).c_str(), hr);
      return false;
    }
    blocks->push_back(std::move(text));
  }
  return true;
}

// What the page holds for its script and its control.
struct Page {
  ComPtr<PageDocument> document;
  ComPtr<ScriptDocument> scriptDocument;
  ComPtr<HostSecurityManager> securityManager;
  ComPtr<ScriptSite> scriptSite;
  ComPtr<HostEcho> echo;
  ComPtr<ClientSite> clientSite;
  ComPtr<IUnknown> control;
  ComPtr<ObjectElement> element;
  ComPtr<IObjectWithSite> controlSite;
};

// The document's and client site's events go to the host's trace.
void traceHosting(const wchar_t* event) { trace(event); }

HRESULT makePage(const Options& options, Page* page) {
  HRESULT hr = makeHostObject(&page->document, options.url, &traceHosting);
  if (SUCCEEDED(hr)) hr = makeHostObject(&page->securityManager);
  if (SUCCEEDED(hr)) {
    hr = makeHostObject(&page->scriptSite, static_cast<IHTMLDocument2*>(page->document.get()),
                        page->securityManager.get());
  }
  if (SUCCEEDED(hr)) hr = makeHostObject(&page->echo);
  if (SUCCEEDED(hr)) hr = page->scriptSite->AddItem(L"host", static_cast<IDispatch*>(page->echo.get()));
  if (FAILED(hr)) reportFailure(L"cannot make the page", hr);
  return hr;
}

// The document the script sees, which finds the <object> element if the page has one.
HRESULT addScriptDocument(Page* page) {
  HRESULT hr = makeHostObject(&page->scriptDocument, static_cast<IHTMLDocument2*>(page->document.get()),
                              static_cast<IDispatch*>(page->element.get()));
  if (SUCCEEDED(hr)) hr = page->scriptSite->AddItem(L"document", static_cast<IDispatch*>(page->scriptDocument.get()));
  if (FAILED(hr)) reportFailure(L"cannot make the page's document", hr);
  return hr;
}

// The element as written on the page: <object id="korvel" classid="clsid:...">.
HRESULT makeObjectElement(REFCLSID controlClass, Page* page) {
  ComPtr<IDispatch> dispatch;
  HRESULT hr = page->control->QueryInterface(IID_IDispatch, dispatch.putVoid());
  if (FAILED(hr)) return hr;
  std::wstring classId = guidText(controlClass);
  classId = L"clsid:" + classId.substr(1, classId.size() - 2);
  return makeHostObject(&page->element, dispatch.get(), L"korvel", classId);
}

// An <object> element: the browser creates the control, confirms that it
// is safe for scripting, and gives it the element's client site.
HRESULT placeControl(REFCLSID controlClass, Page* page) {
  HRESULT hr = CoCreateInstance(controlClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, page->control.putVoid());
  if (FAILED(hr)) {
    reportFailure(L"cannot create the control", hr);
    return hr;
  }
  hr = confirmSafeForScripting(page->control.get());
  if (FAILED(hr)) {
    reportFailure(L"the control is not safe for scripting (IObjectSafety on IDispatch); the script is not run", hr);
    return hr;
  }
  hr = makeHostObject(&page->clientSite, static_cast<IOleContainer*>(page->document.get()),
                      static_cast<IServiceProvider*>(page->scriptSite.get()), &traceHosting);
  if (FAILED(hr)) return hr;
  if (FAILED(page->control->QueryInterface(IID_IObjectWithSite, page->controlSite.putVoid()))) {
    printLine(L"NO-SITE");
  } else if (FAILED(hr = page->controlSite->SetSite(static_cast<IOleClientSite*>(page->clientSite.get())))) {
    reportFailure(L"the control refused its site", hr);
    return hr;
  } else {
    printLine(L"SITE-SET");
  }
  hr = makeObjectElement(controlClass, page);
  if (SUCCEEDED(hr)) hr = page->scriptSite->AddItem(L"korvel", static_cast<IDispatch*>(page->element.get()));
  return hr;
}

HRESULT makeSafeEngine(ComPtr<IActiveScript>* engine, ComPtr<IActiveScriptParse>* parser) {
  CLSID engineClass{};
  HRESULT hr = CLSIDFromProgID(L"JScript", &engineClass);
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(engineClass, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript, engine->putVoid());
  }
  if (FAILED(hr)) {
    reportFailure(L"cannot create the JScript engine", hr);
    return hr;
  }
  ComPtr<IObjectSafety> safety;
  DWORD supported = 0;
  DWORD enabled = 0;
  hr = (*engine)->QueryInterface(IID_IObjectSafety, safety.putVoid());
  if (SUCCEEDED(hr)) hr = safety->GetInterfaceSafetyOptions(IID_IActiveScriptParse, &supported, &enabled);
  if (SUCCEEDED(hr) && (supported & kEngineSafety) != kEngineSafety) hr = E_NOINTERFACE;
  if (SUCCEEDED(hr)) hr = safety->SetInterfaceSafetyOptions(IID_IActiveScriptParse, kEngineSafety, kEngineSafety);
  if (FAILED(hr)) {
    reportFailure(L"the JScript engine refused the safe mode", hr);
    return hr;
  }
  hr = (*engine)->QueryInterface(IID_IActiveScriptParse, parser->putVoid());
  if (SUCCEEDED(hr)) hr = (*parser)->InitNew();
  if (FAILED(hr)) reportFailure(L"cannot start the JScript engine", hr);
  return hr;
}

// Runs one script block; its error has been reported when this returns.
HRESULT runBlock(Page* page, IActiveScriptParse* parser, const std::wstring& text) {
  EXCEPINFO exception{};
  HRESULT hr = parser->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE, nullptr,
                                       &exception);
  framework::UniqueBstr description(exception.bstrDescription);
  framework::UniqueBstr source(exception.bstrSource);
  framework::UniqueBstr helpFile(exception.bstrHelpFile);
  if (FAILED(hr) && !page->scriptSite->ScriptFailed()) reportFailure(L"the script did not run", hr);
  return hr;
}

// Runs the page's script blocks in order, as a browser does: the engine
// started first, so that each block runs as it is parsed, and a block that
// fails does not keep the next from running.
HRESULT runScripts(Page* page, bool withControl, const std::vector<std::wstring>& blocks) {
  ComPtr<IActiveScript> engine;
  ComPtr<IActiveScriptParse> parser;
  HRESULT hr = makeSafeEngine(&engine, &parser);
  if (FAILED(hr)) return hr;
  hr = engine->SetScriptSite(static_cast<IActiveScriptSite*>(page->scriptSite.get()));
  if (SUCCEEDED(hr)) hr = engine->AddNamedItem(L"host", SCRIPTITEM_ISVISIBLE);
  if (SUCCEEDED(hr)) hr = engine->AddNamedItem(L"document", SCRIPTITEM_ISVISIBLE);
  if (SUCCEEDED(hr) && withControl) hr = engine->AddNamedItem(L"korvel", SCRIPTITEM_ISVISIBLE);
  if (SUCCEEDED(hr)) hr = engine->SetScriptState(SCRIPTSTATE_STARTED);
  if (FAILED(hr)) {
    reportFailure(L"cannot prepare the JScript engine", hr);
  } else {
    hr = runBlock(page, parser.get(), kWindowScript);
    for (const std::wstring& block : blocks) {
      HRESULT blockResult = runBlock(page, parser.get(), block);
      if (SUCCEEDED(hr)) hr = blockResult;
    }
    HRESULT connected = engine->SetScriptState(SCRIPTSTATE_CONNECTED);
    if (SUCCEEDED(hr)) hr = connected;
    if (FAILED(connected)) reportFailure(L"cannot connect the JScript engine", connected);
  }
  engine->Close();
  return hr;
}

// Takes the page down as a browser leaves it: the control loses its site
// and every reference is given back. The host's objects must then be gone;
// SITE-LEAKED counts the references still held on them, including those a
// kept object holds on the others.
void leavePage(Page* page) {
  if (page->controlSite) page->controlSite->SetSite(nullptr);
  page->controlSite.reset();
  if (page->scriptSite) page->scriptSite->DropItems();
  page->echo.reset();
  // Each holds the ones after it.
  ULONG scriptDocument = releaseAndCount(&page->scriptDocument);
  ULONG element = releaseAndCount(&page->element);
  page->control.reset();
  ULONG clientSite = releaseAndCount(&page->clientSite);
  ULONG scriptSite = releaseAndCount(&page->scriptSite);
  ULONG document = releaseAndCount(&page->document);
  ULONG securityManager = releaseAndCount(&page->securityManager);
  trace(L"references left: script's document " + std::to_wstring(scriptDocument) + L", element " +
        std::to_wstring(element) + L", client site " + std::to_wstring(clientSite) + L", script site " +
        std::to_wstring(scriptSite) + L", document " + std::to_wstring(document) + L", security manager " +
        std::to_wstring(securityManager));
  ULONG left = scriptDocument + element + clientSite + scriptSite + document + securityManager;
  printLine(left == 0 ? std::wstring(L"SITE-RELEASED") : L"SITE-LEAKED " + std::to_wstring(left));
}

// Windows created on the page's thread while its script runs: the control's
// dialog and its controls, if it opened one. Printed as WINDOWS-CREATED n.
int windowsCreated = 0;

LRESULT CALLBACK countCreatedWindows(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) ++windowsCreated;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

HRESULT runCountingWindows(Page* page, bool withControl, const std::vector<std::wstring>& blocks) {
  HHOOK hook = SetWindowsHookExW(WH_CBT, countCreatedWindows, nullptr, GetCurrentThreadId());
  HRESULT hr = runScripts(page, withControl, blocks);
  if (hook != nullptr) UnhookWindowsHookEx(hook);
  printLine(hook != nullptr ? L"WINDOWS-CREATED " + std::to_wstring(windowsCreated) : L"WINDOWS-UNCOUNTED");
  return hr;
}

int runPage(const Options& options, const std::vector<std::wstring>& blocks) {
  Page page;
  HRESULT hr = makePage(options, &page);
  if (SUCCEEDED(hr) && options.objectElement) hr = placeControl(options.controlClass, &page);
  if (SUCCEEDED(hr)) hr = addScriptDocument(&page);
  if (SUCCEEDED(hr)) hr = runCountingWindows(&page, options.objectElement, blocks);
  bool scriptFailed = FAILED(hr) || (page.scriptSite && page.scriptSite->ScriptFailed());
  leavePage(&page);
  return scriptFailed ? kExitScriptFailed : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!parseArguments(argc, argv, &options)) {
    printUsage();
    return kExitUsage;
  }
  if (options.trace) enableTrace();
  std::vector<std::wstring> blocks;
  if (!readScripts(options.files, &blocks)) return kExitScriptFailed;
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) {
    reportFailure(L"cannot initialise COM", hr);
    return kExitScriptFailed;
  }
  int exitCode = runPage(options, blocks);
  CoUninitialize();
  return exitCode;
}
