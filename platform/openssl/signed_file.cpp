#include "platform/openssl/signed_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/posix/descriptor.h"
#include "platform/posix/program_file.h"

namespace platform::openssl {
namespace {

constexpr char kMagic[] = "~Module signature appended~\n";
constexpr std::size_t kMagicSize = sizeof kMagic - 1;
constexpr std::size_t kDescriptorSize = 12;
constexpr std::size_t kBlockSize = 1u << 20;
static_assert(kMagicSize == 28 && kDescriptorSize + kMagicSize == kTrailerSize);

// The content reader: blocks of kBlockSize from the file, handed out in whatever pieces the
// reader asks for, never beyond `remaining`.
struct ContentReader {
  int fd;
  std::uint64_t offset = 0;
  std::uint64_t remaining;
  std::unique_ptr<unsigned char[]> block{new unsigned char[kBlockSize]};
  std::size_t block_start = 0;
  std::size_t block_end = 0;
};

int ReadContent(BIO* bio, char* out, int wanted) {
  auto* reader = static_cast<ContentReader*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  if (wanted <= 0 || reader == nullptr)
    return 0;
  if (reader->block_start == reader->block_end) {
    if (reader->remaining == 0)
      return 0;
    const std::size_t ask =
        reader->remaining < kBlockSize ? static_cast<std::size_t>(reader->remaining) : kBlockSize;
    ssize_t got;
    do {
      got = ::pread(reader->fd, reader->block.get(), ask, static_cast<off_t>(reader->offset));
    } while (got < 0 && errno == EINTR);
    if (got <= 0)
      return -1;  // the file is shorter than it was
    reader->offset += static_cast<std::uint64_t>(got);
    reader->remaining -= static_cast<std::uint64_t>(got);
    reader->block_start = 0;
    reader->block_end = static_cast<std::size_t>(got);
  }
  const std::size_t available = reader->block_end - reader->block_start;
  const std::size_t taken =
      available < static_cast<std::size_t>(wanted) ? available : static_cast<std::size_t>(wanted);
  std::memcpy(out, reader->block.get() + reader->block_start, taken);
  reader->block_start += taken;
  return static_cast<int>(taken);
}

long ControlContent(BIO* bio, int command, long, void*) {
  auto* reader = static_cast<ContentReader*>(BIO_get_data(bio));
  switch (command) {
    case BIO_CTRL_EOF:
      return reader == nullptr || (reader->remaining == 0 && reader->block_start == reader->block_end);
    case BIO_CTRL_FLUSH:
      return 1;
    default:
      return 0;
  }
}

int CreateContent(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

int DestroyContent(BIO* bio) {
  delete static_cast<ContentReader*>(BIO_get_data(bio));
  BIO_set_data(bio, nullptr);
  return 1;
}

BIO_METHOD* ContentMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "signed file content");
    BIO_meth_set_read(made, ReadContent);
    BIO_meth_set_ctrl(made, ControlContent);
    BIO_meth_set_create(made, CreateContent);
    BIO_meth_set_destroy(made, DestroyContent);
    return made;
  }();
  return method;
}

}  // namespace

bool ParseTrailer(const unsigned char* trailer, std::uint64_t file_size, SignedLayout* layout) {
  if (file_size < kTrailerSize)
    return false;
  if (std::memcmp(trailer + kDescriptorSize, kMagic, kMagicSize) != 0)
    return false;
  const unsigned char* d = trailer;
  if (d[0] != 0 || d[1] != 0 || d[2] != 2 || d[3] != 0 || d[4] != 0 || d[5] != 0 || d[6] != 0 || d[7] != 0) {
    return false;
  }
  const std::uint32_t size = (std::uint32_t{d[8]} << 24) | (std::uint32_t{d[9]} << 16) |
                             (std::uint32_t{d[10]} << 8) | std::uint32_t{d[11]};
  if (size == 0 || size > kMaxSignatureSize || size > file_size - kTrailerSize)
    return false;
  layout->signature_size = size;
  layout->content_size = file_size - kTrailerSize - size;
  return true;
}

void MakeTrailer(std::uint32_t signature_size, unsigned char* trailer) {
  std::memset(trailer, 0, kDescriptorSize);
  trailer[2] = 2;
  trailer[8] = static_cast<unsigned char>(signature_size >> 24);
  trailer[9] = static_cast<unsigned char>(signature_size >> 16);
  trailer[10] = static_cast<unsigned char>(signature_size >> 8);
  trailer[11] = static_cast<unsigned char>(signature_size);
  std::memcpy(trailer + kDescriptorSize, kMagic, kMagicSize);
}

bool ReadSignedLayout(int fd, SignedLayout* layout) {
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < static_cast<off_t>(kTrailerSize)) {
    return false;
  }
  const auto file_size = static_cast<std::uint64_t>(info.st_size);
  unsigned char trailer[kTrailerSize];
  if (::pread(fd, trailer, kTrailerSize, static_cast<off_t>(file_size - kTrailerSize)) !=
      static_cast<ssize_t>(kTrailerSize)) {
    return false;
  }
  return ParseTrailer(trailer, file_size, layout);
}

BIO* NewContentBio(int fd, std::uint64_t size) {
  BIO* bio = BIO_new(ContentMethod());
  if (bio == nullptr)
    return nullptr;
  auto* reader = new ContentReader{fd, 0, size};
  BIO_set_data(bio, reader);
  return bio;
}

int DescriptorOf(const ProgramFile& file) {
  return file.impl().fd.get();
}

std::string ReplaceWithSigned(const ProgramFile& file, const std::string& target, std::uint64_t content_size,
                              const std::vector<unsigned char>& signature) {
  const int input = DescriptorOf(file);
  struct stat info;
  if (::fstat(input, &info) != 0)
    return "cannot read " + target + ": " + std::strerror(errno);
  std::string temporary = target + ".tidysign-XXXXXX";
  const posix::UniqueFd output(::mkstemp(temporary.data()));
  if (!output.valid())
    return "cannot write beside " + target + ": " + std::strerror(errno);
  auto fail = [&](const std::string& why) {
    ::unlink(temporary.c_str());
    return why;
  };
  std::vector<unsigned char> block(kBlockSize);
  for (std::uint64_t offset = 0; offset < content_size;) {
    const std::size_t ask =
        static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), content_size - offset));
    const ssize_t got = ::pread(input, block.data(), ask, static_cast<off_t>(offset));
    if (got <= 0)
      return fail("cannot read " + target);
    if (!posix::WriteAll(output.get(), block.data(), static_cast<std::size_t>(got)))
      return fail("cannot write the signed file");
    offset += static_cast<std::uint64_t>(got);
  }
  unsigned char trailer[kTrailerSize];
  MakeTrailer(static_cast<std::uint32_t>(signature.size()), trailer);
  if (!posix::WriteAll(output.get(), signature.data(), signature.size()) ||
      !posix::WriteAll(output.get(), trailer, sizeof trailer) ||
      ::fchmod(output.get(), info.st_mode & 07777) != 0 || ::fsync(output.get()) != 0) {
    return fail("cannot write the signed file");
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0)
    return fail("cannot replace " + target);
  return {};
}

}  // namespace platform::openssl
