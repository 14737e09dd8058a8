#include "settings/ProfileFile.h"
#include "settings/UsenetSettings.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{
struct LoadCase
{
    const char* pszName;
    const char* pszIni;
    int32_t nPort;
    int32_t bTls;
    int32_t nConnections;
    bool bActive;
};

class UsenetSettingsLoad : public testing::TestWithParam<LoadCase>
{
};

TEST_P(UsenetSettingsLoad, ReadsDefaultsAndBounds)
{
    TempDir dir;
    WriteFile(dir.File("Dravelin.ini"), GetParam().pszIni);
    CUsenetSettings settings;
    settings.Load(dir.File("Dravelin.ini"));
    EXPECT_EQ(settings.m_nPort, GetParam().nPort);
    EXPECT_EQ(settings.m_bTls, GetParam().bTls);
    EXPECT_EQ(settings.m_nConnections, GetParam().nConnections);
    EXPECT_EQ(settings.IsActive(), GetParam().bActive);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsenetSettingsLoad,
    testing::Values(LoadCase{"NoSection", "[Preferences]\nMaxRetries=3\n", 563, 1, 8, false},
                    LoadCase{"PlainPortDefault", "[usenet]\nserver=news.example\ntls=0\n", 119, 0, 8, true},
                    LoadCase{"TlsPortDefault", "[Usenet]\nServer=news.example\n", 563, 1, 8, true},
                    LoadCase{"ExplicitPortWins", "[Usenet]\nServer=n\nTLS=1\nPort=443\nConnections=50\n", 443,
                             1, 50, true},
                    LoadCase{"OutOfRange", "[Usenet]\nServer=n\nTLS=0\nPort=70000\nConnections=51\n", 119, 0,
                             8, true},
                    LoadCase{"NoConnections", "[Usenet]\nServer=n\nConnections=0\n", 563, 1, 8, true},
                    LoadCase{"SwitchedOff", "[Usenet]\nServer=n\nEnabled=0\nPort=1190\n", 1190, 1, 8, false}),
    [](const testing::TestParamInfo<LoadCase>& info) { return std::string(info.param.pszName); });

TEST(UsenetSettings, SaveKeepsOtherSectionsAndReadsBack)
{
    TempDir dir;
    const std::string strIni = dir.File("Dravelin.ini");
    WriteFile(strIni, "[Preferences]\r\nMaxRetries=3\r\n");
    CUsenetSettings settings;
    settings.m_bEnabled = 0;
    settings.m_strServer = "news.example.net";
    settings.m_nPort = 8119;
    settings.m_bTls = 0;
    settings.m_strCAFile = "/etc/ca.pem";
    settings.m_strUsername = "me";
    settings.m_strPassword = "p=w;d";
    settings.m_nConnections = 20;
    ASSERT_TRUE(settings.Save(strIni));

    CUsenetSettings back;
    back.Load(strIni);
    EXPECT_EQ(back, settings);
    EXPECT_EQ(CProfileFile::GetProfileInt("Preferences", "MaxRetries", 0, strIni), 3);
    struct stat st{};
    ASSERT_EQ(::stat(strIni.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(UsenetSettings, ValidateRefusesWhatTheFileCannotKeep)
{
    const auto Invalid = [](auto fnChange)
    {
        CUsenetSettings settings;
        settings.m_strServer = "news.example";
        fnChange(settings);
        return !settings.Validate().empty();
    };
    EXPECT_FALSE(Invalid([](CUsenetSettings&) {}));
    EXPECT_TRUE(Invalid([](CUsenetSettings& s) { s.m_strServer = "news example"; }));
    EXPECT_TRUE(Invalid([](CUsenetSettings& s) { s.m_nPort = 0; }));
    EXPECT_TRUE(Invalid([](CUsenetSettings& s) { s.m_nConnections = 51; }));
    EXPECT_TRUE(Invalid([](CUsenetSettings& s) { s.m_strPassword = "secret "; }));
    EXPECT_TRUE(Invalid([](CUsenetSettings& s) { s.m_strPassword = std::string(255, 'x'); }));
}
} // namespace
