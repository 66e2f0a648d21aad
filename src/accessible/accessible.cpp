// Names and announcements for screen readers, through Windows' dynamic
// annotation service (IAccPropServices): the names are kept by Windows'
// accessibility layer for the window, and read by every screen reader that
// asks the window through it.
#include "accessible.h"

#include <oleacc.h>
#include <strsafe.h>

// Defined here: the import library would bring oleacc.dll into the imports.
static const GUID kClsidAccPropServices = {0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
static const GUID kIidAccPropServices = {0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
static const GUID kIidAccPropServer = {0x76c0dbbb, 0x15e0, 0x4e7b, {0xb6, 0x1b, 0x20, 0xee, 0xea, 0x20, 0x01, 0xe0}};
static const GUID kPropName = {0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
// UI Automation's LiveSetting, which the annotation service also carries.
static const GUID kPropLiveSetting = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
const LONG kLivePolite = 1;
const DWORD kEventLiveRegionChanged = 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED
const size_t kRowNameCapacity = 1024;

static bool g_comInitialized;

void initializeComOnce() {
    if (g_comInitialized) return;
    // Already initialised by the editor (in either model) is fine too.
    CoInitialize(nullptr);
    g_comInitialized = true;
}

static IAccPropServices* openServices() {
    initializeComOnce();
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(kClsidAccPropServices, nullptr, CLSCTX_INPROC_SERVER, kIidAccPropServices,
                                reinterpret_cast<void**>(&services))))
        return nullptr;
    return services;
}

void nameControls(HWND parent, const ControlName* names, size_t count) {
    IAccPropServices* services = openServices();
    if (!services) return;
    for (size_t i = 0; i < count; ++i) {
        HWND control = GetDlgItem(parent, names[i].id);
        if (control) services->SetHwndPropStr(control, OBJID_CLIENT, CHILDID_SELF, kPropName, names[i].name);
    }
    services->Release();
}

// ---- The rows of a list ---------------------------------------------------------

// A name's text as the caller frees it (a BSTR). oleaut32.dll is in the
// process whenever the annotation service asks (oleacc.dll uses it).
static BSTR newNameText(const wchar_t* text) {
    typedef BSTR(WINAPI * AllocateText)(const OLECHAR*);
    HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
    AllocateText allocate =
        oleaut ? reinterpret_cast<AllocateText>(reinterpret_cast<void*>(GetProcAddress(oleaut, "SysAllocString")))
               : nullptr;
    return allocate ? allocate(text) : nullptr;
}

static IAccPropServices* g_listServices;  // held while a list is named
static HWND g_namedList;
static ListNameWriter g_listWriter;

// Answers the annotation service's question for the name of the list or
// of one of its rows (child id row + 1). One object for the process: its
// counts mean nothing.
struct ListNameServer : public IAccPropServer {
    HRESULT WINAPI QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, kIidAccPropServer)) ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI GetPropValue(const BYTE* id, DWORD idLength, MSAAPROPID property, VARIANT* value,
                                BOOL* has) override {
        if (!value || !has) return E_POINTER;
        *has = FALSE;
        value->vt = VT_EMPTY;
        HWND window = nullptr;
        DWORD object = 0, child = 0;
        if (!IsEqualGUID(property, kPropName) || !g_listServices || !g_listWriter ||
            FAILED(g_listServices->DecomposeHwndIdentityString(id, idLength, &window, &object, &child)) ||
            window != g_namedList || object != static_cast<DWORD>(OBJID_CLIENT))
            return S_OK;
        wchar_t text[kRowNameCapacity] = L"";
        const int row = child == CHILDID_SELF ? -1 : static_cast<int>(child) - 1;
        if (!g_listWriter(window, row, text, kRowNameCapacity)) return S_OK;
        value->bstrVal = newNameText(text);
        if (!value->bstrVal) return E_OUTOFMEMORY;
        value->vt = VT_BSTR;
        *has = TRUE;
        return S_OK;
    }
};
// Read-only (no member is ever written), so it needs no writable page.
static const ListNameServer g_listNameServer{};

void nameListRows(HWND list, ListNameWriter writer) {
    forgetListNames(g_namedList);
    IAccPropServices* services = openServices();
    if (!services) return;
    if (FAILED(services->SetHwndPropServer(list, OBJID_CLIENT, CHILDID_SELF, &kPropName, 1, const_cast<ListNameServer*>(&g_listNameServer),
                                           ANNO_CONTAINER))) {
        services->Release();
        return;
    }
    g_listServices = services;
    g_namedList = list;
    g_listWriter = writer;
}

void forgetListNames(HWND list) {
    if (!list || list != g_namedList || !g_listServices) return;
    g_listServices->ClearHwndProps(list, OBJID_CLIENT, CHILDID_SELF, &kPropName, 1);
    g_listServices->Release();
    g_listServices = nullptr;
    g_namedList = nullptr;
    g_listWriter = nullptr;
}

// ---- Announcements --------------------------------------------------------------

void makeLiveRegion(HWND control) {
    IAccPropServices* services = openServices();
    if (!services) return;
    VARIANT polite = {};
    polite.vt = VT_I4;
    polite.lVal = kLivePolite;
    services->SetHwndProp(control, OBJID_CLIENT, CHILDID_SELF, kPropLiveSetting, polite);
    services->Release();
}

void announceChange(HWND control) { NotifyWinEvent(kEventLiveRegionChanged, control, OBJID_CLIENT, CHILDID_SELF); }
