#include <doctest.h>
#include "support/support.h"
#include "version.h"

#include <stddef.h>
#include <string>
#include <vector>

namespace {

// The element as the system fills it in today (with the highest version
// tested), which the older headers here do not know yet.
struct CompatibilityElement {
    GUID id;
    DWORD type;
    ULONGLONG maxVersionTested;
};
struct CompatibilityList {
    DWORD count;
    CompatibilityElement elements[8];
};

std::string Narrow(const wchar_t *text)
{
    std::string narrow;
    for (; text && *text; ++text)
        narrow += (char)*text;
    return narrow;
}

std::string GuidText(const GUID &id)
{
    char text[40];
    snprintf(text, sizeof text, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", (unsigned long)id.Data1,
             id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5],
             id.Data4[6], id.Data4[7]);
    return text;
}

}  // namespace

TEST_CASE("the program carries a manifest: as invoker, Vista to 11, DPI aware per monitor or else system aware")
{
    const std::string scr = testing::ScrPath();
    HMODULE image = LoadLibraryExA(scr.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    CHECK(image != NULL);
    HRSRC found = image ? FindResourceA(image, CREATEPROCESS_MANIFEST_RESOURCE_ID,
                                        (LPCSTR)RT_MANIFEST) : NULL;
    CHECK(found != NULL);
    if (found) {
        const char *bytes = (const char *)LockResource(LoadResource(image, found));
        std::string text(bytes ? bytes : "", bytes ? SizeofResource(image, found) : 0);
        CHECK(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"", 0) == 0);
    }
    if (image)
        FreeLibrary(image);

    // Read the way the loader reads it when the program starts.
    ACTCTXA request;
    ZeroMemory(&request, sizeof request);
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = scr.c_str();
    request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
    HANDLE context = CreateActCtxA(&request);
    CHECK(context != INVALID_HANDLE_VALUE);
    if (context == INVALID_HANDLE_VALUE)
        return;

    SIZE_T written = 0;
    BYTE details[1024];
    DWORD assembly = 1;
    CHECK(QueryActCtxW(0, context, &assembly, AssemblyDetailedInformationInActivationContext, details,
                       sizeof details, &written));
    CHECK(Narrow(((ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION *)details)->lpAssemblyEncodedAssemblyIdentity)
          == "FizzyPimbo.Pimbo95,type=\"win32\",version=\"" PIMBO_VERSION_TEXT ".0\"");

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level;
    ZeroMemory(&level, sizeof level);
    CHECK(QueryActCtxW(0, context, NULL, RunlevelInformationInActivationContext, &level, sizeof level, &written));
    CHECK(level.RunLevel == ACTCTX_RUN_LEVEL_AS_INVOKER);
    CHECK(level.UiAccess == 0);

    CompatibilityList systems;
    ZeroMemory(&systems, sizeof systems);
    CHECK(QueryActCtxW(0, context, NULL, CompatibilityInformationInActivationContext, &systems, sizeof systems,
                       &written));
    CHECK(written == offsetof(CompatibilityList, elements) + systems.count * sizeof(CompatibilityElement));
    const char *const declared[] = {
        "e2011457-1546-43c5-a5fe-008deee3d3f0",   // Vista
        "35138b9a-5d96-4fbd-8e2d-a2440225f93a",   // 7
        "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",   // 8
        "1f676c76-80e1-4239-95bb-83d0f6d0da78",   // 8.1
        "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a",   // 10 and 11
    };
    CHECK(systems.count == 5u);
    for (DWORD i = 0; i < systems.count && i < 5; ++i) {
        CAPTURE(i);
        CHECK(GuidText(systems.elements[i].id) == declared[i]);
        CHECK(systems.elements[i].type == (DWORD)ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS);
    }

    // Aware per monitor (v2) where that is known, else system aware.
    wchar_t value[32] = L"";
    CHECK(QueryActCtxSettingsW(0, context, NULL, L"dpiAware", value, 32, &written));
    CHECK(Narrow(value) == "true");
    CHECK(QueryActCtxSettingsW(0, context, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness",
                               value, 32, &written));
    CHECK(Narrow(value) == "PerMonitorV2, System");
    ReleaseActCtx(context);
}
