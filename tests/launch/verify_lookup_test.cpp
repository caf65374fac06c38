// The publisher check with the list and the system version answered by the test, at link time:
// which names reach the list, and what an older system does.
#include <gtest/gtest.h>
#include <openssl/objects.h>

#include <string>
#include <vector>

#include "launch/verify_publisher.h"
#include "platform/trust.h"
#include "tests/launch/certificates.h"
#include "tests/support/test_support.h"
#include "tools/tidysign/signing.h"

namespace {

std::vector<std::wstring> g_looked_up;
unsigned long g_major_version = 10;

}  // namespace

std::int32_t IsAllowedPublisher(const wchar_t* name) {
  g_looked_up.push_back(name);
  return 1;
}

unsigned long platform::SystemMajorVersion() {
  return g_major_version;
}

namespace {

using namespace testing_support;

class LookupTest : public testing::Test {
 protected:
  void SetUp() override {
    g_looked_up.clear();
    g_major_version = 10;
  }
  std::filesystem::path SignedBy(const std::string& name, const CertSpec& spec) {
    Key key = MakeKey();
    Cert certificate = MakeCert(spec, key.get());
    WriteFile(dir_ / name, "program");
    tidysign::SignOptions options;
    options.signers.push_back({certificate.get(), key.get()});
    EXPECT_EQ(tidysign::SignFile(dir_ / name, options), "");
    return dir_ / name;
  }
  TempDir dir_;
};

// Common names are at most 64 characters long; an e-mail address among the alternative names,
// with nothing in the subject that comes before it, makes a longer display name.
TEST_F(LookupTest, ANameOf510CharactersIsLookedUpAndOneOf511IsNot) {
  for (std::size_t length : {510u, 511u, 600u}) {
    CertSpec spec;
    spec.subject = {{NID_countryName, "CN"}};
    spec.alt_email = std::string(length - 12, 'n') + "@example.org";
    g_looked_up.clear();
    const auto file = SignedBy("long" + std::to_string(length), spec);
    EXPECT_EQ(VerifyPublisher(file.wstring().c_str()), length == 510 ? 1 : 0) << length;
    ASSERT_EQ(g_looked_up.size(), length == 510 ? 1u : 0u) << length;
    if (length == 510) {
      EXPECT_EQ(g_looked_up[0].size(), 510u);
    }
  }
}

TEST_F(LookupTest, ANameWithANulInsideIsNeverLookedUp) {
  const auto file = SignedBy("nul", Named(std::string("Vistrel Software Co., Ltd.\0evil", 31)));
  EXPECT_EQ(VerifyPublisher(file.wstring().c_str()), 0);
  EXPECT_TRUE(g_looked_up.empty());
}

TEST_F(LookupTest, TheDisplayNameFollowsTheSimpleDisplayRule) {
  using Subject = std::vector<std::pair<int, std::string>>;
  struct Case {
    Subject subject;
    std::string alt_email;
    std::wstring name;
  } cases[] = {
      {{{NID_organizationName, "Org"}, {NID_commonName, "Common"}}, "", L"Common"},
      {{{NID_countryName, "CN"}, {NID_organizationName, "Org"}, {NID_organizationalUnitName, "Unit"}},
       "",
       L"Unit"},
      {{{NID_countryName, "CN"}, {NID_organizationName, "Org"}}, "", L"Org"},
      {{{NID_countryName, "CN"}, {NID_pkcs9_emailAddress, "a@b.c"}}, "alt@b.c", L"a@b.c"},
      {{{NID_countryName, "CN"}, {NID_localityName, "Town"}}, "alt@b.c", L"alt@b.c"},
      {{{NID_countryName, "CN"}, {NID_localityName, "Town"}}, "", L"CN"},
  };
  int n = 0;
  for (const Case& c : cases) {
    g_looked_up.clear();
    CertSpec spec;
    spec.subject = c.subject;
    spec.alt_email = c.alt_email;
    VerifyPublisher(SignedBy("rule" + std::to_string(n++), spec).wstring().c_str());
    ASSERT_EQ(g_looked_up.size(), 1u);
    EXPECT_EQ(g_looked_up[0], c.name);
  }
}

TEST_F(LookupTest, BeforeVersion6EveryExistingFilePassesUnchecked) {
  WriteFile(dir_ / "unsigned", "program");
  g_major_version = 5;
  EXPECT_EQ(VerifyPublisher((dir_ / "unsigned").wstring().c_str()), 1);
  EXPECT_EQ(VerifyPublisher((dir_ / "missing").wstring().c_str()), 0);
  g_major_version = 6;
  EXPECT_EQ(VerifyPublisher((dir_ / "unsigned").wstring().c_str()), 0);
  EXPECT_TRUE(g_looked_up.empty());
}

}  // namespace
