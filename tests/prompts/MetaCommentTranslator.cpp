#include "MetaCommentTranslator.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

namespace {

QString unescaped(const QString &quoted)
{
    QString text;
    for (qsizetype i = 0; i < quoted.size(); ++i) {
        if (quoted.at(i) == u'\\' && i + 1 < quoted.size())
            ++i;
        text.append(quoted.at(i));
    }
    return text;
}

} // namespace

MetaCommentTranslator::MetaCommentTranslator(const QString &sourceFolder)
{
    QDirIterator files(sourceFolder, {u"*.cpp"_qs, u"*.h"_qs}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        readFile(files.next());
}

void MetaCommentTranslator::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    static const QRegularExpression meta(uR"re(^\s*//%\s*"(.*)"\s*$)re"_qs);
    static const QRegularExpression use(uR"re(localizedString\(\s*"([^"]+)"\s*\))re"_qs);
    QString pending;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (const QString &line : lines) {
        if (const auto m = meta.match(line); m.hasMatch()) {
            pending += unescaped(m.captured(1));
            continue;
        }
        if (pending.isEmpty())
            continue;
        if (const auto m = use.match(line); m.hasMatch())
            m_texts.insert(m.captured(1), pending);
        pending.clear();
    }
}

QString MetaCommentTranslator::translate(const char *, const char *sourceText, const char *, int) const
{
    return m_texts.value(QString::fromUtf8(sourceText));
}
