#include "pages/download_rules.h"

#include <cwctype>
#include <limits>

#include "i18n/decimal_text.h"

int ProgressPercent(int64_t announced, int64_t stored) {
    if (announced <= 0 || stored <= 0) return 0;
    if (stored >= announced) return 100;
    if (stored <= std::numeric_limits<int64_t>::max() / 100) {
        return static_cast<int>(stored * 100 / announced);
    }
    return static_cast<int>(stored / (announced / 100));  // lengths beyond any real file
}

bool IsWebUrl(std::wstring_view url) {
    auto startsWith = [url](std::wstring_view scheme) {
        if (url.size() <= scheme.size()) return false;
        for (size_t i = 0; i < scheme.size(); ++i) {
            if (static_cast<wchar_t>(std::towlower(url[i])) != scheme[i]) return false;
        }
        return true;
    };
    return startsWith(L"http://") || startsWith(L"https://");
}

std::wstring_view FileNamePart(std::wstring_view path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

std::wstring WithNumberMark(std::wstring_view fileName) {
    std::wstring name(fileName);
    const size_t dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos) return name;
    if (dot > 0 && name[dot - 1] == L')') return name;
    name.insert(dot, L"()");
    return name;
}

std::wstring NumberedCandidate(std::wstring_view markedName, int n) {
    std::wstring name(markedName);
    const size_t mark = name.rfind(L"()");
    if (mark == std::wstring::npos) {
        if (n <= 1) return name;
        const size_t dot = name.find_last_of(L'.');
        name.insert(dot == std::wstring::npos ? name.size() : dot,
                    L"(" + kv::i18n::DecimalText(n) + L")");
        return name;
    }
    name.replace(mark, 2, n <= 1 ? std::wstring() : L"(" + kv::i18n::DecimalText(n) + L")");
    return name;
}

std::wstring TempFolderFrom(const wchar_t* buffer, uint32_t length, uint32_t capacity) {
    if (length == 0 || length > capacity || buffer == nullptr) return L"C:\\";
    return std::wstring(buffer, length);
}

std::wstring SetupParameters(unsigned char trial) {
    return trial != 0 ? L"/glic 1" : L"/glic 2";
}

std::wstring ReturnMarkerPath(std::wstring_view tempFolder) {
    return std::wstring(tempFolder) + kReturnMarkerName;
}
