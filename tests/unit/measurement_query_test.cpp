#include <gtest/gtest.h>

#include "analytics/measurement_query.h"

namespace kv::analytics {
namespace {

TEST(PercentEncode, UnreservedCharactersStayAndEverythingElseIsEscapedAsUtf8) {
    EXPECT_EQ(PercentEncode(L"Downloader"), L"Downloader");
    EXPECT_EQ(PercentEncode(L"AZaz09-._~"), L"AZaz09-._~");
    EXPECT_EQ(PercentEncode(L""), L"");
    EXPECT_EQ(PercentEncode(L"a&b=c d"), L"a%26b%3Dc%20d");
    EXPECT_EQ(PercentEncode(L"#?/+%"), L"%23%3F%2F%2B%25");
    EXPECT_EQ(PercentEncode(std::wstring(L"a\0b", 3)), L"a%00b");
    EXPECT_EQ(PercentEncode(L"\u00e9\u20ac"), L"%C3%A9%E2%82%AC");
}

TEST(PercentEncode, CharactersBeyondTheBasicPlaneAndBrokenSurrogates) {
    // U+1F600 written the way this platform's wide strings hold it.
    EXPECT_EQ(PercentEncode(L"\U0001F600"), L"%F0%9F%98%80");
    std::wstring lone;
    lone += static_cast<wchar_t>(0xD800);
    lone += L'x';
    EXPECT_EQ(PercentEncode(lone), L"%EF%BF%BDx");
    EXPECT_EQ(PercentEncode(std::wstring(1, static_cast<wchar_t>(0xDC00))), L"%EF%BF%BD");
}

TEST(EventPart, KeysInFixedOrderAndOnlyThoseGiven) {
    EXPECT_EQ(BuildEventPart(L"Downloader", L"Started", L"", L""),
              L"&av=7.0&t=event&ec=Downloader&ea=Started");
    EXPECT_EQ(BuildEventPart(L"", L"Trial", L"", L""), L"&av=7.0&t=event&ea=Trial");
    EXPECT_EQ(BuildEventPart(L"c", L"a", L"l", L"5"), L"&av=7.0&t=event&ec=c&ea=a&el=l&ev=5");
    EXPECT_EQ(BuildEventPart(L"", L"", L"", L""), L"&av=7.0&t=event");
    EXPECT_EQ(BuildEventPart(L"Tom & Jerry", L"x=1", L"", L""),
              L"&av=7.0&t=event&ec=Tom%20%26%20Jerry&ea=x%3D1");
}

TEST(CollectUrl, IdentityKeysComeBeforeTheEventPartAndAreEscaped) {
    HitIdentity identity{L"127.0.0.1:48210", L"UA-48213977-7",
                         L"0F8B5A2C-1D3E-4F50-9A7B-C6D8E0F1A2B3", L"KVPro", L"en-US"};
    EXPECT_EQ(BuildCollectUrl(identity, BuildEventPart(L"Downloader", L"Finished", L"", L"")),
              L"http://127.0.0.1:48210/collect?v=1&tid=UA-48213977-7"
              L"&cid=0F8B5A2C-1D3E-4F50-9A7B-C6D8E0F1A2B3&an=KVPro&ul=en-US"
              L"&av=7.0&t=event&ec=Downloader&ea=Finished");

    // A damaged client id from the registry cannot add keys of its own.
    identity.clientId = L"x&t=pageview";
    identity.userLanguage = L"-";
    EXPECT_EQ(BuildCollectUrl(identity, L""),
              L"http://127.0.0.1:48210/collect?v=1&tid=UA-48213977-7&cid=x%26t%3Dpageview"
              L"&an=KVPro&ul=-");
}

TEST(Ga4Hit, BodyCarriesTheV1KeysAsEscapedJson) {
    const HitIdentity identity{L"h", L"UA-1-1", L"0F8B5A2C-1D3E-4F50-9A7B-C6D8E0F1A2B3", L"KVPro",
                               L"en-US"};
    EXPECT_EQ(BuildGa4Url(L"127.0.0.1:47861", L"G-AB12", L"s3cr&t"),
              L"http://127.0.0.1:47861/mp/collect?measurement_id=G-AB12&api_secret=s3cr%26t");
    EXPECT_EQ(BuildGa4Body(identity, L"Downloader", L"Started", L"", L""),
              "{\"client_id\":\"0F8B5A2C-1D3E-4F50-9A7B-C6D8E0F1A2B3\",\"events\":[{\"name\":"
              "\"Downloader_Started\",\"params\":{\"category\":\"Downloader\",\"action\":"
              "\"Started\",\"app_name\":\"KVPro\",\"app_version\":\"7.0\",\"user_language\":"
              "\"en-US\"}}]}");
    // Names keep to the protocol's alphabet; values keep every character, escaped.
    const std::string body =
        BuildGa4Body({L"h", L"", L"a\"b", L"", L""}, L"", L"9 lives & \u00e9", L"tab\there", L"\\");
    EXPECT_EQ(body,
              "{\"client_id\":\"a\\\"b\",\"events\":[{\"name\":\"lives____\",\"params\":{"
              "\"action\":\"9 lives & \xc3\xa9\",\"label\":\"tab\\u0009here\",\"value\":"
              "\"\\\\\",\"app_version\":\"7.0\"}}]}");
    EXPECT_EQ(JsonString(std::wstring(L"\0\x1f\x7f", 3)), "\"\\u0000\\u001f\x7f\"");
    EXPECT_EQ(JsonString(std::wstring(1, static_cast<wchar_t>(0xDC00))), "\"\xef\xbf\xbd\"");
    EXPECT_EQ(BuildGa4Body({}, L"", L"", L"", L""),
              "{\"client_id\":\"\",\"events\":[{\"name\":\"event\",\"params\":{\"app_version\":"
              "\"7.0\"}}]}");
}

}  // namespace
}  // namespace kv::analytics
