// The signing tool as a user runs it.
#include <gtest/gtest.h>

#include <string>

#include "tests/launch/certificates.h"
#include "tests/support/test_support.h"

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

}  // namespace
