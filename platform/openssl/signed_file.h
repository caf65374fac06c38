// Program files with a signature appended, laid out as signed kernel modules are:
//   [content: N bytes][signature: S bytes][descriptor: 12 bytes][magic: 28 bytes]
// The signature is a DER-encoded, detached CMS SignedData over the content. The descriptor is
// u8 algo 0, u8 hash 0, u8 id_type 2 (PKCS #7), u8 signer_len 0, u8 key_id_len 0, u8 pad[3] 0 and
// the big-endian u32 S; the magic is "~Module signature appended~" and a line feed.
#pragma once

#include <openssl/bio.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/program_file.h"

namespace platform::openssl {

inline constexpr std::size_t kTrailerSize = 12 + 28;
// A signature larger than this is no signature of ours.
inline constexpr std::uint32_t kMaxSignatureSize = 1u << 20;

struct SignedLayout {
  std::uint64_t content_size = 0;
  std::uint32_t signature_size = 0;
};

// Reads the trailer (`kTrailerSize` bytes at the end of a file of `file_size` bytes). False when
// there is no magic, the descriptor is not one of ours, or the signature it claims does not fit in
// the file.
bool ParseTrailer(const unsigned char* trailer, std::uint64_t file_size, SignedLayout* layout);

// The trailer for a signature of `signature_size` bytes.
void MakeTrailer(std::uint32_t signature_size, unsigned char* trailer);

// Reads the layout of the open file `fd`. False as for ParseTrailer, or when it cannot be read.
bool ReadSignedLayout(int fd, SignedLayout* layout);

// A read-only BIO over the first `size` bytes of `fd`, read in fixed-size blocks from the start.
// The BIO does not own `fd`.
BIO* NewContentBio(int fd, std::uint64_t size);

// The descriptor of an opened program file, for reading its layout and content.
int DescriptorOf(const ProgramFile& file);

// Puts `file`'s first `content_size` bytes with `signature` and its trailer appended in the place
// of the file named `target` (the name `file` was opened by, its links resolved): written beside it
// with the same permissions, synced, and renamed into place, so that a failure leaves the file as
// it was. Returns an empty string, or what went wrong, in words.
std::string ReplaceWithSigned(const ProgramFile& file, const std::string& target, std::uint64_t content_size,
                              const std::vector<unsigned char>& signature);

}  // namespace platform::openssl
