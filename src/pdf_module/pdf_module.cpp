// libparlanto_pdf: the PDF reader with poppler, opened on the first PDF (see
// speech/pdf_reader_loader.cpp), so a run that reads no PDF never loads poppler and the
// libraries it brings.
#include "speech/pdf_reader.h"

#include <QtGlobal>

using PdfReader = QString (*)(const QByteArray &, DocumentBuilder &);

extern "C" Q_DECL_EXPORT PdfReader parlanto_pdf_reader()
{
    return &readPdf;
}
