// The version record on Windows: the running executable's own version block (the
// VERSIONINFO resource the build made from the same values as on Linux), read back
// through the version API.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "platform/VersionInfo.h"
#include "platform/win32/WideText.h"

namespace {

std::wstring ModulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD used = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (used == 0) return {};
        if (used < path.size()) {
            path.resize(used);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

TVersionInfo ReadVersionInfo() {
    TVersionInfo info;
    const std::wstring path = ModulePath();
    DWORD ignored = 0;
    const DWORD size = path.empty() ? 0 : ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return info;
    info.Present = true;
    std::vector<unsigned char> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return info;

    struct TTranslation {
        WORD Language;
        WORD CodePage;
    };
    TTranslation* translation = nullptr;
    UINT length = 0;
    if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                         &length) &&
        length >= sizeof(TTranslation)) {
        wchar_t prefix[64];
        std::swprintf(prefix, 64, L"\\StringFileInfo\\%04X%04X\\", translation->Language,
                      translation->CodePage);
        auto query = [&](const wchar_t* name) -> std::optional<std::string> {
            wchar_t* text = nullptr;
            UINT chars = 0;
            const std::wstring subBlock = std::wstring(prefix) + name;
            if (!::VerQueryValueW(block.data(), subBlock.c_str(), reinterpret_cast<void**>(&text), &chars) ||
                text == nullptr)
                return std::nullopt;
            // The length counts the closing zero when there is one.
            std::wstring value(text, chars);
            while (!value.empty() && value.back() == L'\0') value.pop_back();
            return Utf8FromWide(value);
        };
        info.FileDescription = query(L"FileDescription");
        info.FileVersion = query(L"FileVersion");
        info.LegalCopyright = query(L"LegalCopyright");
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    if (::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
        info.FileFlags = fixed->dwFileFlags;
        info.FileFlagsMask = fixed->dwFileFlagsMask;
    }
    return info;
}
