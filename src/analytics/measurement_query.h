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

// The same events through the newer measurement protocol: a POST of a JSON body to
// "http://" host "/mp/collect?measurement_id=..&api_secret=..".
std::wstring BuildGa4Url(std::wstring_view host, std::wstring_view measurementId,
                         std::wstring_view apiSecret);

// A JSON string literal (with its quotes) of the text in UTF-8: quote, backslash and control
// characters escaped, unpaired surrogates as U+FFFD.
std::string JsonString(std::wstring_view text);

// {"client_id":..,"events":[{"name":..,"params":{..}}]}: the event's name is made of its
// category and action (letters, digits and "_" only, at most 40 characters, as the protocol
// requires); its parameters are the category, action, label and value that are given and the
// application name, version and user language that every v1 hit carries.
std::string BuildGa4Body(const HitIdentity& identity, std::wstring_view category,
                         std::wstring_view action, std::wstring_view label,
                         std::wstring_view value);

}  // namespace kv::analytics
