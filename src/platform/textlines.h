#pragma once
// The one line splitter (base/lines.h) for Qt's bytes and strings: CR LF,
// LF and a lone CR each end a line, a byte-order mark is skipped, and a
// text that ends with a line end has no empty line after it.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

QList<QByteArray> splitLines(QByteArrayView bytes);
QStringList splitLines(QStringView text);
