// The publisher check against real signatures made at test time.
#include <gtest/gtest.h>
#include <openssl/objects.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "launch/verify_publisher.h"
#include "platform/trust.h"
#include "tests/launch/certificates.h"
#include "tests/support/test_support.h"
#include "tools/tidysign/signing.h"

namespace {

using namespace testing_support;

std::string Hex(std::int32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

class VerifyTest : public testing::Test {
 protected:
  // A program file of `size` bytes signed by `signers` (a certificate and key each), carrying
  // `extra` besides.
  std::filesystem::path Signed(const std::string& name,
                               const std::vector<std::pair<X509*, EVP_PKEY*>>& signers,
                               const std::vector<X509*>& extra = {}, bool attributes = true,
                               bool signer_certificates = true) {
    const std::filesystem::path file = dir_ / name;
    WriteFile(file, content_);
    tidysign::SignOptions options;
    for (const auto& [certificate, key] : signers)
      options.signers.push_back({certificate, key});
    options.extra_certificates = extra;
    options.signed_attributes = attributes;
    options.signer_certificates = signer_certificates;
    const std::string error = tidysign::SignFile(file, options);
    EXPECT_EQ(error, "") << name;
    return file;
  }
  std::filesystem::path SignedBy(const std::string& name, const CertSpec& spec) {
    Key key = MakeKey();
    Cert certificate = MakeCert(spec, key.get());
    return Signed(name, {{certificate.get(), key.get()}});
  }
  // The file with `edit` applied to its bytes.
  std::filesystem::path Edited(const std::filesystem::path& file, const std::string& name,
                               const std::function<void(std::string&)>& edit) {
    std::string bytes = ReadFile(file);
    edit(bytes);
    WriteFile(dir_ / name, bytes);
    return dir_ / name;
  }
  static std::string Descriptor(std::uint32_t size) {
    std::string d(8, '\0');
    d[2] = 2;
    for (int shift = 24; shift >= 0; shift -= 8)
      d += static_cast<char>((size >> shift) & 0xFF);
    return d + "~Module signature appended~\n";
  }
  static std::int32_t Result(const std::filesystem::path& file) {
    return platform::TrustVerification(file.wstring().c_str()).result();
  }

  TempDir dir_;
  std::string content_ = std::string(5000, 'c') +
                         "\x7F"
                         "ELF and the rest of a program";
};

TEST_F(VerifyTest, TheTrustResultAndTheNameDecideTogether) {
  Key root_key = MakeKey(), middle_key = MakeKey(), leaf_key = MakeKey();
  CertSpec root_spec = Named("Test Root");
  root_spec.ca = true;
  CertSpec middle_spec = Named("Test Intermediate");
  middle_spec.ca = true;
  Cert root = MakeCert(root_spec, root_key.get());
  Cert middle = MakeCert(middle_spec, middle_key.get(), root.get(), root_key.get());
  Cert leaf = MakeCert(Named("Vistrel Software Co., Ltd."), leaf_key.get(), middle.get(), middle_key.get());

  CertSpec expired = Named("Vistrel Software Co., Ltd.");
  expired.valid_from_days = -30;
  expired.valid_to_days = -1;
  CertSpec tls_only = Named("Vistrel Software Co., Ltd.");
  tls_only.usage = Usage::kServerAuth;
  const std::string nul_name("Vistrel Software Co., Ltd.\0evil", 31);

  struct Case {
    const char* what;
    std::function<std::filesystem::path()> make;
    std::int32_t result;
    std::int32_t verdict;
  } cases[] = {
      {"an accepted name, self-signed", [&] { return SignedBy("a", Named("Vistrel Software Co., Ltd.")); },
       platform::kTrustUntrustedRoot, 1},
      {"the last name of the list", [&] { return SignedBy("b", Named("Kitbase Technology Co., Ltd.")); },
       platform::kTrustUntrustedRoot, 1},
      {"a Chinese name", [&] { return SignedBy("c", Named("深圳维斯特瑞科技有限公司")); },
       platform::kTrustUntrustedRoot, 1},
      {"an expired certificate", [&] { return SignedBy("d", expired); }, platform::kTrustExpired, 1},
      {"a chain under an untrusted root, root included",
       [&] {
         return Signed("e", {{leaf.get(), leaf_key.get()}}, {middle.get(), root.get()});
       },
       platform::kTrustUntrustedRoot, 1},
      {"a chain whose issuer is missing",
       [&] {
         return Signed("f", {{leaf.get(), leaf_key.get()}});
       },
       platform::kTrustChaining, 0},
      {"no signature",
       [&] {
         WriteFile(dir_ / "g", content_);
         return dir_ / "g";
       },
       platform::kTrustNoSignature, 0},
      {"another letter case", [&] { return SignedBy("h", Named("Vistrel software Co., Ltd.")); },
       platform::kTrustUntrustedRoot, 0},
      {"a trailing blank", [&] { return SignedBy("i", Named("Vistrel Software Co., Ltd. ")); },
       platform::kTrustUntrustedRoot, 0},
      {"a name not on the list", [&] { return SignedBy("j", Named("Someone Else Ltd.")); },
       platform::kTrustUntrustedRoot, 0},
      {"a certificate for servers only", [&] { return SignedBy("k", tls_only); }, platform::kTrustWrongUsage,
       0},
      {"a NUL inside the name", [&] { return SignedBy("l", Named(nul_name)); }, platform::kTrustUntrustedRoot,
       0},
      {"without signed attributes",
       [&] {
         return Signed("m", {{leaf.get(), leaf_key.get()}}, {middle.get(), root.get()}, false);
       },
       platform::kTrustUntrustedRoot, 1},
      {"a signature that carries no certificate of its signer",
       [&] {
         return Signed("n", {{leaf.get(), leaf_key.get()}}, {}, true, false);
       },
       platform::kTrustNoSignerCertificate, 0},
      {"no certificate of its signer, though others of the chain",
       [&] {
         return Signed("o", {{leaf.get(), leaf_key.get()}}, {middle.get(), root.get()}, true, false);
       },
       platform::kTrustNoSignerCertificate, 0},
      {"no certificate and no signed attributes, as signed kernel modules come",
       [&] {
         return Signed("p", {{leaf.get(), leaf_key.get()}}, {}, false, false);
       },
       platform::kTrustNoSignerCertificate, 0},
  };
  for (const Case& c : cases) {
    const std::filesystem::path file = c.make();
    EXPECT_EQ(Hex(Result(file)), Hex(c.result)) << c.what;
    EXPECT_EQ(VerifyPublisher(file.wstring().c_str()), c.verdict) << c.what;
  }
}

TEST_F(VerifyTest, AChainThatReachesATrustedRootVerifies) {
  Key root_key = MakeKey(), leaf_key = MakeKey();
  CertSpec root_spec = Named("Test Root");
  root_spec.ca = true;
  Cert root = MakeCert(root_spec, root_key.get());
  Cert leaf = MakeCert(Named("Vistrel Labs"), leaf_key.get(), root.get(), root_key.get());
  const auto file = Signed("trusted", {{leaf.get(), leaf_key.get()}});
  WritePem(dir_ / "store.pem", root.get());
  ScopedEnv store("SSL_CERT_FILE", (dir_ / "store.pem").string());
  ScopedEnv no_dir("SSL_CERT_DIR", (dir_ / "none").string());
  EXPECT_EQ(Hex(Result(file)), Hex(platform::kTrustOk));
  EXPECT_EQ(VerifyPublisher(file.wstring().c_str()), 1);
}

TEST_F(VerifyTest, AChangedOrCutFileIsRefused) {
  const auto good = SignedBy("good", Named("Vistrel Software Co., Ltd."));
  const std::size_t content = content_.size();
  const std::size_t signature = ReadFile(good).size() - content - 40;
  std::mt19937 random(7);
  struct Case {
    const char* what;
    std::function<void(std::string&)> edit;
    std::int32_t result;
  } cases[] = {
      {"content changed", [](std::string& b) { b[100] ^= 1; }, platform::kTrustBadDigest},
      {"signature bytes changed", [&](std::string& b) { b[content + signature - 5] ^= 1; },
       platform::kTrustBadDigest},
      {"the last byte cut", [](std::string& b) { b.pop_back(); }, platform::kTrustNoSignature},
      {"a descriptor claiming nothing", [&](std::string& b) { b.replace(b.size() - 40, 40, Descriptor(0)); },
       platform::kTrustNoSignature},
      {"a descriptor claiming more than there is",
       [&](std::string& b) {
         b.replace(b.size() - 40, 40, Descriptor(static_cast<std::uint32_t>(b.size())));
       },
       platform::kTrustNoSignature},
      {"a descriptor claiming 0xFFFFFFF0 bytes",
       [&](std::string& b) { b.replace(b.size() - 40, 40, Descriptor(0xFFFFFFF0u)); },
       platform::kTrustNoSignature},
      {"random bytes where the signature belongs",
       [&](std::string& b) {
         for (std::size_t i = content; i < content + signature; ++i)
           b[i] = static_cast<char>(random());
       },
       platform::kTrustNoSignature},
  };
  EXPECT_EQ(VerifyPublisher(good.wstring().c_str()), 1);
  int n = 0;
  for (const Case& c : cases) {
    const auto file = Edited(good, "edited" + std::to_string(n++), c.edit);
    EXPECT_EQ(Hex(Result(file)), Hex(c.result)) << c.what;
    EXPECT_EQ(VerifyPublisher(file.wstring().c_str()), 0) << c.what;
  }
}

// The signers of a signature are a set, kept in the order of their encoding, so which one comes
// first depends on the signers: a shorter name sorts first. Both orders are made.
TEST_F(VerifyTest, OfTwoSignersTheFirstDecides) {
  bool seen_first_accepted = false;
  bool seen_first_other = false;
  int attempt = 0;
  for (const char* other_name : {"X", "Someone Else With A Considerably Longer Name Ltd."}) {
    ++attempt;
    Key accepted_key = MakeKey(), other_key = MakeKey();
    Cert accepted = MakeCert(Named("Vistrel Inc."), accepted_key.get());
    Cert other = MakeCert(Named(other_name), other_key.get());
    const auto file = Signed("two" + std::to_string(attempt),
                             {{accepted.get(), accepted_key.get()}, {other.get(), other_key.get()}});
    const platform::TrustVerification verification(file.wstring().c_str());
    wchar_t name[512] = {};
    ASSERT_GT(platform::GetCertificateDisplayName(verification.SignerCertificate(), name, 512), 1u);
    const bool first_is_accepted = std::wstring(name) == L"Vistrel Inc.";
    (first_is_accepted ? seen_first_accepted : seen_first_other) = true;
    EXPECT_EQ(VerifyPublisher(file.wstring().c_str()), first_is_accepted ? 1 : 0) << attempt;
  }
  EXPECT_TRUE(seen_first_accepted && seen_first_other);
}

TEST_F(VerifyTest, ResigningReplacesTheSignatureAndAFailedSignLeavesTheFile) {
  Key key = MakeKey(), stranger = MakeKey();
  Cert accepted = MakeCert(Named("Vistrel Labs"), key.get());
  Cert other = MakeCert(Named("Someone Else Ltd."), key.get());
  const auto file = Signed("resigned", {{other.get(), key.get()}});
  const auto first = ReadFile(file);
  Signed("resigned", {{accepted.get(), key.get()}});
  // Signed() rewrote the content first; sign the file as it is instead.
  WriteFile(file, first);
  tidysign::SignOptions options;
  options.signers.push_back({accepted.get(), key.get()});
  ASSERT_EQ(tidysign::SignFile(file, options), "");
  EXPECT_EQ(ReadFile(file).substr(0, content_.size()), content_)
      << "the content is kept, the old signature goes";
  EXPECT_EQ(VerifyPublisher(file.wstring().c_str()), 1);

  const std::string before = ReadFile(file);
  options.signers = {{accepted.get(), stranger.get()}};
  EXPECT_EQ(tidysign::SignFile(file, options), "the key does not match the certificate");
  EXPECT_EQ(ReadFile(file), before);
}

TEST_F(VerifyTest, NoRegularFileNoCheck) {
  EXPECT_EQ(VerifyPublisher(nullptr), 0);
  EXPECT_EQ(VerifyPublisher((dir_ / "missing").wstring().c_str()), 0);
  // A FIFO is never opened for reading: the open would wait for a writer for ever.
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  std::filesystem::create_directories(dir_ / "folder");
  for (const char* name : {"fifo", "folder"}) {
    const std::wstring path = (dir_ / name).wstring();
    EXPECT_EQ(Hex(Result(dir_ / name)), Hex(platform::kTrustNoSignature)) << name;
    EXPECT_EQ(VerifyPublisher(path.c_str()), 0) << name;
  }
}

}  // namespace
