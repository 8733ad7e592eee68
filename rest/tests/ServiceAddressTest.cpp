// The forms of the "server" setting and the addresses built from them.

#include "rest/ServiceAddress.h"

#include <gtest/gtest.h>

#include "common/GlobalSetting.h"
#include "testing/TempHome.h"

namespace {

TEST(ServiceAddressTest, FormsOfTheSetting) {
    struct Case {
        const char* why;
        const char* setting;
        const char* url;
    };
    const Case cases[] = {
        {"empty: the default host and port", "", "http://127.0.0.1:8080/biz/ent/file/info"},
        {"a bare host keeps port 8080", "sync.example",
         "http://sync.example:8080/biz/ent/file/info"},
        {"host and port", "127.0.0.1:39001", "http://127.0.0.1:39001/biz/ent/file/info"},
        {"plain http with a port", "http://h:81", "http://h:81/biz/ent/file/info"},
        {"https keeps port 8080", "https://h", "https://h:8080/biz/ent/file/info"},
        {"https with a port and a path", "https://h:8443/x/y", "https://h:8443/biz/ent/file/info"},
        {"blanks around the value", "  h:9000 ", "http://h:9000/biz/ent/file/info"},
        {"IPv6 literal", "[::1]:9000", "http://[::1]:9000/biz/ent/file/info"},
        {"a port that is not a number", "h:80x", "http://h:8080/biz/ent/file/info"},
        {"a port out of range", "h:70000", "http://h:8080/biz/ent/file/info"},
        {"a scheme and nothing else", "http://", "http://127.0.0.1:8080/biz/ent/file/info"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(CServiceAddress(c.setting).Url("/ent/file/info"), c.url);
    }
    EXPECT_TRUE(CServiceAddress("https://h").IsTls());
    EXPECT_FALSE(CServiceAddress("http://h").IsTls());
}

TEST(ServiceAddressTest, ReadsTheServerSettingOfConfigIni) {
    testing_support::TempHome home;
    EXPECT_EQ(CServiceAddress().Url("/ent/user/login"), "http://127.0.0.1:8080/biz/ent/user/login");
    ASSERT_EQ(CGlobalSetting().SetValue(L"main", L"server", L"10.0.0.7:4321", L"config.ini"), 0);
    EXPECT_EQ(CServiceAddress().Url("/ent/user/login"), "http://10.0.0.7:4321/biz/ent/user/login");
}

}  // namespace
