// Conversions between the core's 8-bit strings and Qt strings. The core's own texts are
// plain ASCII; paths and typed text arrive as UTF-8. A byte string that is not valid UTF-8
// is taken as Latin-1, so that every byte still shows as some character.
#pragma once

#include <QString>
#include <QStringDecoder>
#include <string>
#include <string_view>

namespace vocara::platform::qt {

inline QString ToQString(std::string_view text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) {
    return decoded;
  }
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToStdString(const QString& text) { return text.toStdString(); }

}  // namespace vocara::platform::qt
