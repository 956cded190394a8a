#pragma once

#include <string_view>

#include <QString>

// Texts that come from outside the program (a database field, a server's
// reply) arrive as bytes. These helpers take such bytes as UTF-8 text as
// they are: nothing is converted from another encoding, and invalid
// sequences become replacement characters rather than being dropped.
namespace vantrix::EstensioniUtili {

// A server's text, taken as UTF-8.
inline QString definisciCodificaStringa(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// A database field's text, taken as UTF-8.
inline QString definisciCodificaCampo(std::string_view bytes) {
  return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

}  // namespace vantrix::EstensioniUtili
