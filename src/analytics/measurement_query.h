#pragma once
// The query of a usage-event hit (measurement protocol version 1), built without any platform
// call so that it is tested natively. Every value is percent-encoded, so a value holding "&", "=",
// "#", a blank or any other reserved character stays one value of its own key.

#include <string>
#include <string_view>

namespace kv::analytics {

// UTF-8 of the text with every byte outside the unreserved characters of RFC 3986 (letters,
// digits, "-", ".", "_", "~") written as "%" and two upper-case hex digits. Unpaired surrogates
// become U+FFFD.
std::wstring PercentEncode(std::wstring_view value);

// "&av=7.0&t=event", then "&ec=", "&ea=", "&el=", "&ev=" with their values, each only when the
// value is not empty, in this order.
std::wstring BuildEventPart(std::wstring_view category, std::wstring_view action,
                            std::wstring_view label, std::wstring_view value);

struct HitIdentity {
    std::wstring_view host;  // host, with ":port" when not 80
    std::wstring_view trackingId;
    std::wstring_view clientId;
    std::wstring_view appName;
    std::wstring_view userLanguage;
};

// "http://" host "/collect?v=1&tid=..&cid=..&an=..&ul=.." followed by the event part unchanged.
std::wstring BuildCollectUrl(const HitIdentity& identity, std::wstring_view eventPart);

}  // namespace kv::analytics
