#include "app/SystemText.h"

#include <QStringDecoder>

QString FromSystemText(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const QByteArrayView bytes(text.data(), static_cast<qsizetype>(text.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(bytes);
    if (utf8.hasError())
        return QString::fromLatin1(bytes);
    return decoded;
}
