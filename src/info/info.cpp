#include "info/info.h"

#include "info/info_texts.h"
#include "ui/dialogs.h"
#include "ui/form3.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QTextBrowser>
#include <QUrl>

namespace {
const QColor kBlue(0, 0, 255);
const QColor kMagenta(255, 0, 255);
} // namespace

void Info::mnuinfoEn_Click() { dialogs::MsgBox(info::fullText(info::englishPieces()), dialogs::Style::OkInformation); }

void Info::mnuinfogr_Click() { dialogs::MsgBox(info::fullText(info::greekPieces()), dialogs::Style::OkInformation); }

void Info::mnu_instr_Click()
{
    Form3 &form = form3();
    form.show();
    form.raise();
}

void Info::Form3_Load(Form3 &form)
{
    form.WebBrowser1->setVisible(true);
    const QString picture = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("program"));
    // "program" carries no extension: the reader looks at its bytes, not its name.
    QImageReader reader(picture);
    reader.setDecideFormatFromContent(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        form.WebBrowser1->hide();
        return;
    }
    form.WebBrowser1->document()->addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("program:picture")),
                                              image);
    form.WebBrowser1->setHtml(QStringLiteral("<img src=\"program:picture\">"));
    form.Picture3->setPixmap(QPixmap::fromImage(image));
    form.Picture3->adjustSize();
    // The view shows the picture over the whole frame; the picture box stays beneath it.
    form.Picture3->hide();
}

void Info::Form3_Timer1_Timer(Form3 &form)
{
    QPalette p = form.Label1->palette();
    const bool blue = p.color(QPalette::WindowText) == kBlue;
    p.setColor(QPalette::WindowText, blue ? kMagenta : kBlue);
    form.Label1->setPalette(p);
}

void Info::Form3_Label1_Click()
{
    // Nothing is said when no browser opens.
    QDesktopServices::openUrl(QUrl(info::kMakerPage));
}
