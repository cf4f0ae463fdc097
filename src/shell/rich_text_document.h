#pragma once

#include <QByteArray>

#include "core/rtf_reader.h"

class QObject;
class QTextCursor;
class QTextDocument;

namespace mw {

// The bytes of a Qt byte array as the reader takes them.
inline std::string_view Bytes(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

// Inserts the text at the cursor: the first paragraph continues the cursor's block and each
// further one starts a new block. Line breaks inside a paragraph stay inside the block.
void AppendRichText(QTextCursor& cursor, const RichText& text);

// A new document, owned by `parent`, with one block per paragraph; loading it is not undoable
// and leaves it unmodified.
QTextDocument* ToDocument(const RichText& text, QObject* parent);

}  // namespace mw
