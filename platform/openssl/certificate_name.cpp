#include "platform/openssl/certificate_name.h"

#include <openssl/x509v3.h>

#include "platform/text.h"

namespace platform::openssl {
namespace {

std::wstring Decode(const ASN1_STRING* text) {
  if (text == nullptr)
    return {};
  unsigned char* utf8 = nullptr;
  const int size = ASN1_STRING_to_UTF8(&utf8, text);
  if (size < 0)
    return {};
  std::wstring wide =
      ToWide(std::string(reinterpret_cast<const char*>(utf8), static_cast<std::size_t>(size)));
  OPENSSL_free(utf8);
  return wide;
}

}  // namespace

std::wstring SimpleDisplayName(X509* certificate) {
  X509_NAME* subject = X509_get_subject_name(certificate);
  if (subject != nullptr) {
    for (int nid :
         {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
      const int at = X509_NAME_get_index_by_NID(subject, nid, -1);
      if (at >= 0)
        return Decode(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, at)));
    }
  }
  auto* alternatives =
      static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
  if (alternatives != nullptr) {
    std::wstring email;
    bool found = false;
    for (int i = 0; i < sk_GENERAL_NAME_num(alternatives) && !found; ++i) {
      const GENERAL_NAME* alternative = sk_GENERAL_NAME_value(alternatives, i);
      if (alternative->type == GEN_EMAIL) {
        email = Decode(alternative->d.rfc822Name);
        found = true;
      }
    }
    GENERAL_NAMES_free(alternatives);
    if (found)
      return email;
  }
  if (subject != nullptr && X509_NAME_entry_count(subject) > 0) {
    return Decode(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, 0)));
  }
  return {};
}

}  // namespace platform::openssl
