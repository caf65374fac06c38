// The simple display name of a certificate.
#pragma once

#include <openssl/x509.h>

#include <string>

namespace platform::openssl {

// The first of these in `certificate`: the subject's common name, organizational unit,
// organization, e-mail address; the first e-mail address among the subject's alternative names;
// the subject's first attribute. Each is decoded from its ASN.1 string type; a character NUL in the
// name is kept. Empty when there is none.
std::wstring SimpleDisplayName(X509* certificate);

}  // namespace platform::openssl
