// A host as the real one is built: compiled by clang in Microsoft's C++ ABI,
// with its own declaration of the plug-in interface and no C runtime, named
// Corvana.exe so that the plug-in finds its zt* functions. It loads the DLL
// named on its command line (default: meshbridge_plugin.dll beside it),
// initialises the plug-in, runs "Print" and "Export" with file type 0 through
// `execute` (the export fails: no kind of file to start from), deletes the
// object, and exits 0 only if each step did what it must.
//
// Build (scripts/test-windows does this):
//   clang++ --target=x86_64-pc-windows-msvc -fno-exceptions -fno-rtti -fno-builtin -c msvc_abi_host.cpp
//   lld-link /nodefaultlib /entry:mainCRTStartup /subsystem:console /out:Corvana.exe
//            msvc_abi_host.obj libkernel32.a

typedef unsigned long long size_t;
typedef int int32;
typedef unsigned char uint8;

extern "C" {
__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) void* __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) void* __stdcall GetProcAddress(void* module, const char* name);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) char* __stdcall GetCommandLineA();

// The compiler may call this for zeroed arrays; there is no C runtime to provide it.
void* memset(void* target, int value, size_t size) {
    volatile uint8* bytes = static_cast<uint8*>(target);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8>(value);
    return target;
}
}

// The interface exactly as the host declares it.
class CRZTPluginInterface {
public:
    virtual ~CRZTPluginInterface();
    virtual bool execute() = 0;
    virtual bool initPlugin() = 0;
};

// The host's records, laid out by this compiler; the plug-in pins the same offsets.
struct HostSrfInfo {
    int32 nrOfVertices, nrOfTriangles;
    float *vertexX, *vertexY, *vertexZ, *normalX, *normalY, *normalZ;
    int32* colors;
    uint8 unused64[8];
    float convexRed, convexGreen, convexBlue, concaveRed, concaveGreen, concaveBlue;
    float meshCenterX, meshCenterY, meshCenterZ;
    uint8 unused108[12];
    int32* triangles;
    uint8 unused128[32];
    const char* fileName;
};
struct HostSmpList { int32 nrOfMaps, nrOfVertices; char fileName[304]; };
struct HostSmpInfo {
    char* name; int32 mapType; uint8 unused12[8]; float thresholdMin, thresholdMax;
    uint8 unused28[4]; int32 df1, df2; uint8 unused40[20]; float importedFlag;
    uint8 unused64[4]; int32 ccOverlay;
};
struct HostMtcInfo {
    uint8 unused0[4]; int32 nrOfVolumes, nrOfVertices, headerFlag, importedFlag, tr;
    char mtcFileName[261], prtFileName[261], vtcFileName[262];
};
struct HostPoiList { int32 nrOfPOIs, nrOfPOIMTCs; char fileName[264]; };
struct HostPoiInfo { int32 nrOfVertices; char name[256]; int32 color, labelVertex; char infoTextFile[264]; };

static_assert(__builtin_offsetof(HostSrfInfo, colors) == 56 && __builtin_offsetof(HostSrfInfo, convexRed) == 72);
static_assert(__builtin_offsetof(HostSrfInfo, triangles) == 120 && __builtin_offsetof(HostSrfInfo, fileName) == 160);
static_assert(sizeof(HostSrfInfo) == 168 && sizeof(HostSmpList) == 312);
static_assert(__builtin_offsetof(HostSmpInfo, thresholdMin) == 20 && __builtin_offsetof(HostSmpInfo, df1) == 32);
static_assert(__builtin_offsetof(HostSmpInfo, importedFlag) == 60 && sizeof(HostSmpInfo) == 72);
static_assert(__builtin_offsetof(HostMtcInfo, tr) == 20 && __builtin_offsetof(HostMtcInfo, prtFileName) == 285);
static_assert(__builtin_offsetof(HostMtcInfo, vtcFileName) == 546 && sizeof(HostMtcInfo) == 808);
static_assert(sizeof(HostPoiList) == 272 && __builtin_offsetof(HostPoiInfo, color) == 260);
static_assert(__builtin_offsetof(HostPoiInfo, infoTextFile) == 268 && sizeof(HostPoiInfo) == 532);

namespace {

char logged[4096];
size_t loggedLength = 0;
const char* command = "Print";
bool readLabelsPerVertex = false;

size_t length(const char* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

bool equal(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

bool contains(const char* text, const char* part) {
    for (; *text; ++text) {
        size_t i = 0;
        while (part[i] && text[i] == part[i]) ++i;
        if (!part[i]) return true;
    }
    return false;
}

void print(const char* text) {
    unsigned long written = 0;
    WriteFile(GetStdHandle(static_cast<unsigned long>(-11)), text, static_cast<unsigned long>(length(text)),
              &written, nullptr);
}

bool check(bool ok, const char* what) {
    print(ok ? "ok      " : "FAILED  ");
    print(what);
    print("\r\n");
    return ok;
}

}  // namespace

extern "C" {

__declspec(dllexport) int ztGetVersionOfCorvanaZT(int* first, int* second, int* third) {
    *first = 3, *second = 0, *third = 0;
    return 1;
}

__declspec(dllexport) void ztLogText(const char* text) {
    print("log: ");
    print(text);
    print("\r\n");
    for (; *text && loggedLength + 2 < sizeof logged; ++text) logged[loggedLength++] = *text;
    logged[loggedLength++] = '\n';
    logged[loggedLength] = 0;
}

__declspec(dllexport) void ztMessageBox(const char* text) {
    print("message box: ");
    print(text);
    print("\r\n");
}

__declspec(dllexport) void ztGetStringParameter(const char* name, char* value) {
    const char* answer = equal(name, "Command") ? command : "";
    while ((*value++ = *answer++)) {}
}

__declspec(dllexport) int ztGetIntParameter(const char* name) {
    if (equal(name, "DoExportLabelsPerVertex")) readLabelsPerVertex = true;
    return 0;
}

int mainCRTStartup() {
    // The DLL's path: the first argument, else the plug-in beside this program.
    const char* path = "meshbridge_plugin.dll";
    char* line = GetCommandLineA();
    if (*line == '"') {
        ++line;
        while (*line && *line != '"') ++line;
        if (*line) ++line;
    } else {
        while (*line && *line != ' ') ++line;
    }
    while (*line == ' ') ++line;
    if (*line) path = line;

    void* library = LoadLibraryA(path);
    if (!check(library != nullptr, "the plug-in library loads")) ExitProcess(1);
    typedef CRZTPluginInterface* CreatePlugin();
    CreatePlugin* create = reinterpret_cast<CreatePlugin*>(GetProcAddress(library, "createPlugin"));
    if (!check(create != nullptr, "it exports createPlugin")) ExitProcess(1);
    CRZTPluginInterface* plugin = create();
    if (!check(plugin != nullptr, "createPlugin gives an object")) ExitProcess(1);

    bool ok = check(plugin->initPlugin(), "initPlugin returns true");
    ok = check(contains(logged, "Initialising plugin...\n"), "initPlugin logs \"Initialising plugin...\"") && ok;
    ok = check(plugin->execute(), "execute of \"Print\" with file type 0 returns true") && ok;
    ok = check(contains(logged, "Meshbridge 1.6 is running!\n"), "execute logs \"Meshbridge 1.6 is running!\"") && ok;
    ok = check(contains(logged, "Command received: Print\n"), "execute reads the command \"Print\"") && ok;
    command = "Export";
    // No kind of file to start from: the plug-in says so in a message box and fails.
    ok = check(!plugin->execute(), "execute of \"Export\" with file type 0 returns false") && ok;
    ok = check(readLabelsPerVertex, "the export reads DoExportLabelsPerVertex") && ok;
    delete plugin;
    ok = check(true, "delete through the virtual destructor returns") && ok;
    ExitProcess(ok ? 0 : 1);
    return 0;
}
}
