#pragma once
// Expands the program's style sheets: block comments go, "@import" clauses
// are replaced by the processed text of the named file, "$name: value;"
// lines define variables and every "$name" reference is replaced by its
// value. Sizes that depend on the screen come in as variables defined from
// code before process() runs. Problems are collected in errors(); nothing is
// thrown and nothing is printed.

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

class StyleSheetPreprocessor
{
public:
    explicit StyleSheetPreprocessor(const QString& includeDir = QString());

    // The first value of a name wins; a second one is reported and dropped.
    // Values from code are stored as given and resolved where they are used.
    void defineVariable(const QString& name, const QString& value);
    QString process(const QString& fileName);
    const QStringList& errors() const { return m_errors; }
    QStringList& errors() { return m_errors; }
    static qint64 maxFileSize() { return 1000000; }

private:
    QString processFile(const QString& name);
    bool locateFile(const QString& name, QString* path, QString* dir);
    bool mustSkipFile(const QString& path);
    bool readFile(const QString& path, QString* text);
    QString processText(const QString& text);
    QString stripComments(const QString& text) const;
    bool processLine(QString line, QString* output);
    bool parseImport(QString* line, QString* output);
    bool parseDefinition(QString* line);
    QString resolveVariables(const QString& text);
    QString expandVariables(QString text, QStringList* expanding);
    QString variableValue(const QString& name, QStringList* expanding);
    void addFileError(const QString& file, const QString& text);
    void addVariableError(const QString& name, const QString& text);

    QString m_includeDir;
    QStringList m_fileStack;
    QStringList m_dirStack;
    QSet<QString> m_processed;
    QMap<QString, QString> m_variables;
    QString m_context;
    QStringList m_errors;
};
