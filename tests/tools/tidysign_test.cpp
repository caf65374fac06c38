// The signing tool as a user runs it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/launch/certificates.h"
#include "tests/support/test_support.h"
#include "tools/tidysign/shown_text.h"
#include "tools/tidysign/signing.h"

namespace {

using namespace testing_support;

std::string Tool() {
  return (BinDir() / "tidysign").string();
}

TEST(Tidysign, SignsVerifiesAndSaysPlainlyWhatIsWrong) {
  TempDir dir;
  Key key = MakeKey(), other_key = MakeKey();
  Cert certificate = MakeCert(Named("Vistrel Viewer Team"), key.get());
  WritePem(dir / "cert.pem", certificate.get());
  WritePem(dir / "key.pem", key.get());
  WritePem(dir / "other.pem", other_key.get());
  WriteFile(dir / "program", "program bytes");
  const std::string cert = (dir / "cert.pem").string(), file = (dir / "program").string();

  auto verify = RunProgram({Tool(), "verify", file});
  EXPECT_EQ(verify.exit_code, 1);
  EXPECT_EQ(verify.output, "trust result: 0x800B0100 (no signature)\nsigner: (none)\ndecision: refused\n");

  ASSERT_EQ(RunProgram({Tool(), "sign", "--cert", cert, "--key", (dir / "key.pem").string(), file}).exit_code,
            0);
  verify = RunProgram({Tool(), "verify", file});
  EXPECT_EQ(verify.exit_code, 0);
  EXPECT_EQ(verify.output,
            "trust result: 0x800B0109 (the chain ends in a root that is not trusted)\n"
            "signer: Vistrel Viewer Team\ndecision: accepted\n");

  const std::string signed_bytes = ReadFile(file);
  const auto mismatch =
      RunProgram({Tool(), "sign", "--cert", cert, "--key", (dir / "other.pem").string(), file});
  EXPECT_EQ(mismatch.exit_code, 1);
  EXPECT_EQ(mismatch.output, "tidysign: the key does not match the certificate\n");
  EXPECT_EQ(ReadFile(file), signed_bytes) << "a failed sign leaves the file as it was";

  const auto unreadable = RunProgram({Tool(), "verify", (dir / "missing").string()});
  EXPECT_EQ(unreadable.exit_code, 2);
  EXPECT_NE(unreadable.output.find("cannot read"), std::string::npos);
  for (const std::vector<std::string>& usage : {std::vector<std::string>{Tool()},
                                                {Tool(), "sign", file},
                                                {Tool(), "verify"},
                                                {Tool(), "frobnicate", file}}) {
    const auto run = RunProgram(usage);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_NE(run.output.find("usage:"), std::string::npos);
  }
}

// A file signed in place by `name`'s certificate, made here; `carry` false leaves the certificate
// out of the signature.
std::string SignedBy(const TempDir& dir, const std::string& file_name, const std::string& name,
                     bool carry = true) {
  Key key = MakeKey();
  Cert certificate = MakeCert(Named(name), key.get());
  const auto file = dir / file_name;
  WriteFile(file, "program bytes");
  tidysign::SignOptions options;
  options.signers.push_back({certificate.get(), key.get()});
  options.signer_certificates = carry;
  EXPECT_EQ(tidysign::SignFile(file, options), "");
  return file.string();
}

TEST(Tidysign, ANameIsShownOnOneLineWithNothingATerminalWouldActOn) {
  TempDir dir;
  const std::string evil = "Evil\x1b[2K\r\x1b[1Adecision: accepted\n";
  const auto verify = RunProgram({Tool(), "verify", SignedBy(dir, "evil", evil)});
  EXPECT_EQ(verify.exit_code, 1);
  EXPECT_EQ(verify.output,
            "trust result: 0x800B0109 (the chain ends in a root that is not trusted)\n"
            "signer: Evil\\x1b[2K\\r\\x1b[1Adecision: accepted\\n\n"
            "decision: refused\n");

  struct Case {
    std::wstring name;
    std::string shown;
  } cases[] = {
      {L"Vistrel Viewer Team", "Vistrel Viewer Team"},
      {L"深圳维斯特瑞科技有限公司", "深圳维斯特瑞科技有限公司"},
      {L"a\\x1b", "a\\\\x1b"},
      {std::wstring(L"nul\0inside", 10), "nul\\x00inside"},
      {L"tab\tline\nreturn\r", "tab\\tline\\nreturn\\r"},
      {L"bell\a del\x7f c1\x9b next\x85", "bell\\x07 del\\x7f c1\\x9b next\\x85"},
      {L"line\u2028para\u2029", "line\\u2028para\\u2029"},
      {L"\u202etxt.exe \u2066x\u2069 \u200f", "\\u202etxt.exe \\u2066x\\u2069 \\u200f"},
      {std::wstring(1, static_cast<wchar_t>(0xD800)) + L"x", "\\ud800x"},
      {L"bad" + std::wstring(1, static_cast<wchar_t>(0xDCFF)), "bad\\xff"},  // a byte that is not UTF-8
  };
  for (const Case& c : cases)
    EXPECT_EQ(tidysign::ShownOnOneLine(c.name), c.shown);
}

TEST(Tidysign, SaysWhenTheSignatureCarriesNoCertificateOfItsSigner) {
  TempDir dir;
  const auto verify = RunProgram({Tool(), "verify", SignedBy(dir, "bare", "Vistrel Viewer Team", false)});
  EXPECT_EQ(verify.exit_code, 1);
  EXPECT_EQ(verify.output,
            "trust result: 0x80096002 (the signature carries no certificate of its signer)\n"
            "signer: (none)\ndecision: refused\n");
}

TEST(Tidysign, SigningFollowsALinkToItsFileRefusesDevicesAndShowsNamesEscaped) {
  TempDir dir;
  Key key = MakeKey();
  Cert certificate = MakeCert(Named("Vistrel Viewer Team"), key.get());
  WritePem(dir / "cert.pem", certificate.get());
  WritePem(dir / "key.pem", key.get());
  const auto sign = [&](const std::filesystem::path& file) {
    return RunProgram({Tool(), "sign", "--cert", (dir / "cert.pem").string(), "--key",
                       (dir / "key.pem").string(), file.string()});
  };
  WriteFile(dir / "program", "program bytes");
  std::filesystem::create_symlink(dir / "program", dir / "link");
  ASSERT_EQ(sign(dir / "link").exit_code, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link")) << "the link stays a link";
  EXPECT_EQ(RunProgram({Tool(), "verify", (dir / "program").string()}).exit_code, 0) << "its file is signed";

  std::filesystem::create_symlink("/dev/zero", dir / "device");
  const auto device = sign(dir / "device");
  EXPECT_EQ(device.exit_code, 1);
  EXPECT_NE(device.output.find("cannot read"), std::string::npos) << device.output;

  const auto hostile = sign(dir / "no\x1b]0;TITLE\a\x1b[31mRED\nFAKE\xff");
  EXPECT_EQ(hostile.exit_code, 1);
  EXPECT_EQ(hostile.output.find_first_of("\x1b\a\xff"), std::string::npos) << hostile.output;
  EXPECT_EQ(hostile.output.find('\n'), hostile.output.size() - 1) << "one line";
  EXPECT_NE(hostile.output.find("no\\x1b]0;TITLE\\x07\\x1b[31mRED\\nFAKE\\xff"), std::string::npos)
      << hostile.output;
}

TEST(Tidysign, AFifoOrAFolderIsRefusedAtOnce) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_directories(dir / "folder");
  for (const char* name : {"fifo", "folder"}) {
    RunOptions options;
    options.timeout = std::chrono::milliseconds(10000);
    const auto verify = RunProgram({Tool(), "verify", (dir / name).string()}, options);
    EXPECT_FALSE(verify.timed_out) << name;
    EXPECT_EQ(verify.exit_code, 2) << name;
    EXPECT_NE(verify.output.find("cannot read"), std::string::npos) << name;
    const auto sign =
        RunProgram({Tool(), "sign", "--cert", "c", "--key", "k", (dir / name).string()}, options);
    EXPECT_FALSE(sign.timed_out) << name;
  }
}

}  // namespace
