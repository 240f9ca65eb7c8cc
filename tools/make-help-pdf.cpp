// Build-time tool: turns the Markdown user guide into the PDF that Help / Help Topics opens.
//
//   make-help-pdf GUIDE.md OUT.pdf
//
// Uses Qt's own Markdown reader and PDF writer, so the help needs nothing beyond Qt. Runs
// without a display (the offscreen platform unless QT_QPA_PLATFORM says otherwise). Writes a
// temporary file beside OUT and renames it, so a failed run never leaves half a PDF.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <QUrl>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make-help-pdf GUIDE.md OUT.pdf\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  const QString guidePath = QString::fromLocal8Bit(argv[1]);
  const QString outPath = QString::fromLocal8Bit(argv[2]);
  QFile guide(guidePath);
  if (!guide.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "make-help-pdf: cannot read %s\n", argv[1]);
    return 1;
  }
  const QString markdown = QString::fromUtf8(guide.readAll());

  QTextDocument document;
  QFont body(QStringLiteral("DejaVu Sans"));
  body.setPointSizeF(10);
  document.setDefaultFont(body);
  document.setDefaultStyleSheet(QStringLiteral("code, pre { font-family: 'DejaVu Sans Mono'; }"));
  document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
  // The images the guide names, relative to its folder, handed to the document by those names.
  const QDir folder = QFileInfo(guidePath).absoluteDir();
  const QRegularExpression image(QStringLiteral(R"(!\[[^\]]*\]\(([^)\s]+)\))"));
  for (auto it = image.globalMatch(markdown); it.hasNext();) {
    const QString name = it.next().captured(1);
    const QImage picture(folder.filePath(name));
    if (picture.isNull()) {
      std::fprintf(stderr, "make-help-pdf: cannot read the image %s\n", qPrintable(name));
      return 1;
    }
    document.addResource(QTextDocument::ImageResource, QUrl(name), picture);
  }

  const QString partPath = outPath + QStringLiteral(".part");
  {
    QPdfWriter writer(partPath);
    writer.setTitle(QStringLiteral("Vocara User Guide"));
    writer.setCreator(QStringLiteral("Vocara"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter));
    writer.setResolution(300);
    document.print(&writer);
  }
  QFile part(partPath);
  if (part.size() == 0) {
    std::fprintf(stderr, "make-help-pdf: nothing was written to %s\n", argv[2]);
    part.remove();
    return 1;
  }
  QFile::remove(outPath);
  if (!part.rename(outPath)) {
    std::fprintf(stderr, "make-help-pdf: cannot write %s\n", argv[2]);
    part.remove();
    return 1;
  }
  return 0;
}
