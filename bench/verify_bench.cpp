// The publisher check on a large signed file, beside hashing the same file with SHA-256 in the
// same run, in this process and as whole processes (`tidysign verify FILE` beside
// `openssl dgst -sha256 FILE`); and the peak memory of the check for a small and a large file.
//   verify_bench [MIB]        (default 256)
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "launch/verify_publisher.h"
#include "platform/posix/spawn.h"
#include "tests/launch/certificates.h"
#include "tools/tidysign/signing.h"

namespace {

using Clock = std::chrono::steady_clock;

void MakeFile(const std::filesystem::path& file, std::size_t mib) {
  std::FILE* out = std::fopen(file.c_str(), "wb");
  std::mt19937_64 random(42);
  std::vector<std::uint64_t> block((1u << 20) / sizeof(std::uint64_t));
  for (std::size_t i = 0; i < mib; ++i) {
    for (auto& word : block)
      word = random();
    std::fwrite(block.data(), 1, 1u << 20, out);
  }
  std::fclose(out);
}

void Sign(const std::filesystem::path& file) {
  testing_support::Key key = testing_support::MakeKey();
  testing_support::Cert certificate =
      testing_support::MakeCert(testing_support::Named("Vistrel Labs"), key.get());
  tidysign::SignOptions options;
  options.signers.push_back({certificate.get(), key.get()});
  const std::string error = tidysign::SignFile(file, options);
  if (!error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::exit(1);
  }
}

double Sha256Seconds(const std::filesystem::path& file) {
  const auto start = Clock::now();
  const int fd = open(file.c_str(), O_RDONLY);
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
  std::vector<unsigned char> block(1u << 20);
  ssize_t got;
  while ((got = read(fd, block.data(), block.size())) > 0)
    EVP_DigestUpdate(context, block.data(), got);
  unsigned char digest[EVP_MAX_MD_SIZE];
  EVP_DigestFinal_ex(context, digest, nullptr);
  EVP_MD_CTX_free(context);
  close(fd);
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double VerifySeconds(const std::filesystem::path& file) {
  const auto start = Clock::now();
  if (VerifyPublisher(file.wstring().c_str()) != 1) {
    std::fprintf(stderr, "the signed file was refused\n");
    std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The wall time of running `words` to its end as a process of its own, its output discarded.
double WholeProcessSeconds(const std::vector<std::string>& words, int expected_code) {
  const platform::posix::ExecWords argv(words);
  platform::posix::SpawnRequest request;
  request.program_path = words[0].c_str();
  request.argv = argv.get();
  const auto start = Clock::now();
  const int code = platform::posix::WaitForExitCode(platform::posix::Spawn(request));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (code != expected_code) {
    std::fprintf(stderr, "%s ended with %d\n", words[0].c_str(), code);
    std::exit(1);
  }
  return seconds;
}

// The peak resident memory, in KiB, of `tidysign verify FILE`: the whole check in a process of
// its own.
long PeakKib(const std::filesystem::path& tool, const std::filesystem::path& file) {
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execl(tool.c_str(), tool.c_str(), "verify", file.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage = {};
  wait4(child, &status, 0, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  const std::filesystem::path tool = std::filesystem::path(argv[0]).parent_path() / "tidysign";
  std::string pattern = (std::filesystem::temp_directory_path() / "tidyhand-verify-XXXXXX").string();
  const std::filesystem::path folder = mkdtemp(pattern.data());
  const auto large = folder / "large.exe";
  const auto small = folder / "small.exe";
  MakeFile(large, mib);
  MakeFile(small, 1);
  Sign(large);
  Sign(small);

  Sha256Seconds(large);  // both read from the page cache from here on
  double best_hash = 1e9, best_verify = 1e9;
  for (int round = 0; round < 5; ++round) {
    best_hash = std::min(best_hash, Sha256Seconds(large));
    best_verify = std::min(best_verify, VerifySeconds(large));
  }
  std::printf("file: %zu MiB signed\n", mib);
  std::printf("sha-256 of the file:   %.3f s (best of 5)\n", best_hash);
  std::printf("publisher check:       %.3f s (best of 5)\n", best_verify);
  std::printf("ratio check / hash:    %.3f\n", best_verify / best_hash);

  // Whole processes, side by side: the tool verifies the file once; the baseline hashes it.
  const std::vector<std::string> tidysign_verify = {tool.string(), "verify", large.string()};
  const std::vector<std::string> openssl_dgst = {"/usr/bin/openssl", "dgst", "-sha256", large.string()};
  double best_tool = 1e9, best_openssl = 1e9;
  for (int round = 0; round < 5; ++round) {
    best_openssl = std::min(best_openssl, WholeProcessSeconds(openssl_dgst, 0));
    best_tool = std::min(best_tool, WholeProcessSeconds(tidysign_verify, 0));
  }
  std::printf("`openssl dgst -sha256 FILE`: %.3f s (best of 5)\n", best_openssl);
  std::printf("`tidysign verify FILE`:      %.3f s (best of 5)\n", best_tool);
  std::printf("ratio tool / openssl:        %.3f\n", best_tool / best_openssl);
  std::printf("peak memory of `tidysign verify`: %ld KiB for 1 MiB, %ld KiB for %zu MiB\n",
              PeakKib(tool, small), PeakKib(tool, large), mib);
  std::filesystem::remove_all(folder);
  return 0;
}
