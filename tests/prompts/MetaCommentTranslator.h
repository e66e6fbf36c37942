#pragma once

#include <QHash>
#include <QString>
#include <QTranslator>

// A string table read straight from the sources' English meta comments
// (`//% "text"` above `localizedString("key")`), the same pairs lupdate
// collects. Lets widget tests check texts and render screenshots in English
// without the compiled tables.
class MetaCommentTranslator : public QTranslator {
public:
    // Reads every .h and .cpp file below the folder.
    explicit MetaCommentTranslator(const QString &sourceFolder);

    bool isEmpty() const override { return m_texts.isEmpty(); }
    QString translate(const char *context, const char *sourceText,
                      const char *disambiguation = nullptr, int n = -1) const override;

    QString text(const QString &key) const { return m_texts.value(key); }
    qsizetype size() const { return m_texts.size(); }

private:
    void readFile(const QString &path);

    QHash<QString, QString> m_texts;
};
