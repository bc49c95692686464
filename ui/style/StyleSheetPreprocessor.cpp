#include "StyleSheetPreprocessor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

namespace {

const QString kDefaultIncludeDir = QStringLiteral(":/StyleSheets/");

const QString kVariable = QStringLiteral("\\$[A-Za-z](?:-?[0-9A-Za-z]+)*");

const QRegularExpression kComment(QStringLiteral("/\\*(?>(?:(?>[^*]+)|\\*(?!/))*)\\*/"),
                                  QRegularExpression::MultilineOption);
const QRegularExpression kTrailingBlanks(QStringLiteral("\\s+$"));
const QRegularExpression kVariableRef(kVariable);
const QRegularExpression kDefinition(
    QStringLiteral("^(\\s*)(%1)\\s*:\\s*(.+?)\\s*;\\s*").arg(kVariable));
// The file name runs to the last matching quote on the line.
const QRegularExpression kImport(QStringLiteral("^(\\s*)@import\\s*%1\\s*(;?)\\s*")
                                     .arg(QStringLiteral("([\"'])((?:(?!\\%1).)*)\\2")));

const QString kFilePrefix = QStringLiteral("style sheet file \"%1\" ");
const QString kVariableInFilePrefix = QStringLiteral("style sheet variable %1 in \"%2\" in file \"%3\" ");
const QString kVariablePrefix = QStringLiteral("style sheet variable %1 ");

QString withoutTrailingBlanks(QString text)
{
    return text.remove(kTrailingBlanks);
}

} // namespace

StyleSheetPreprocessor::StyleSheetPreprocessor(const QString& includeDir)
    : m_includeDir(includeDir.isEmpty() ? kDefaultIncludeDir : includeDir)
{
}

void StyleSheetPreprocessor::defineVariable(const QString& name, const QString& value)
{
    if (m_variables.contains(name)) {
        addVariableError(name, QStringLiteral("is already defined."));
        return;
    }
    m_variables.insert(name, value);
}

QString StyleSheetPreprocessor::process(const QString& fileName)
{
    m_processed.clear();
    m_errors.clear();
    if (fileName.isEmpty()) {
        addFileError(QString(), QStringLiteral("will be ignored - empty style sheet file name."));
        return QString();
    }
    return processFile(fileName);
}

QString StyleSheetPreprocessor::processFile(const QString& name)
{
    QString path;
    QString dir;
    if (!locateFile(name, &path, &dir) || mustSkipFile(path))
        return QString();
    // Counted before reading, so an unreadable file is not tried again.
    m_processed.insert(path);
    m_fileStack.append(path);
    m_dirStack.append(dir);
    QString text;
    const QString result = readFile(path, &text) ? processText(text) : QString();
    m_fileStack.removeLast();
    m_dirStack.removeLast();
    return result;
}

bool StyleSheetPreprocessor::locateFile(const QString& name, QString* path, QString* dir)
{
    QString candidate = name;
    if (QFileInfo(candidate).isRelative() && !m_dirStack.isEmpty())
        candidate = QDir(m_dirStack.last()).filePath(candidate);
    const QFileInfo info(candidate);
    *dir = info.dir().canonicalPath();

    // The include directory wins over the importing file's own directory.
    if (!m_includeDir.isEmpty()) {
        const QFileInfo included(QDir(m_includeDir).filePath(info.fileName()));
        if (included.exists()) {
            *path = included.canonicalFilePath();
            return true;
        }
    }
    if (info.exists()) {
        *path = info.canonicalFilePath();
        return true;
    }
    addFileError(info.absoluteFilePath(), QStringLiteral("does not exist."));
    return false;
}

bool StyleSheetPreprocessor::mustSkipFile(const QString& path)
{
    if (m_fileStack.contains(path)) {
        addFileError(path, QStringLiteral("cannot be processed recursively."));
        return true;
    }
    if (m_processed.contains(path)) {
        addFileError(path, QStringLiteral("already processed."));
        return true;
    }
    return false;
}

bool StyleSheetPreprocessor::readFile(const QString& path, QString* text)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        addFileError(path, QStringLiteral("couldn't be opened."));
        return false;
    }
    if (file.size() > maxFileSize()) {
        addFileError(path, QStringLiteral("exceeds limit of %L2 bytes.").arg(maxFileSize()));
        return false;
    }
    const QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    *text = QString::fromUtf8(bytes.constData(), nul < 0 ? bytes.size() : nul);
    return true;
}

QString StyleSheetPreprocessor::processText(const QString& text)
{
    QString stripped = stripComments(text);
    QTextStream lines(&stripped, QIODevice::ReadOnly);
    QString output;
    while (!lines.atEnd()) {
        if (processLine(lines.readLine(), &output))
            output += QLatin1Char('\n');
    }
    return output;
}

QString StyleSheetPreprocessor::stripComments(const QString& text) const
{
    return QString(text).remove(kComment);
}

bool StyleSheetPreprocessor::processLine(QString line, QString* output)
{
    line = withoutTrailingBlanks(line);
    if (line.isEmpty())
        return true;
    while (!line.trimmed().isEmpty() && parseImport(&line, output)) {
    }
    while (!line.trimmed().isEmpty() && parseDefinition(&line)) {
    }
    // A line of imports and definitions only leaves no line of its own.
    if (line.trimmed().isEmpty())
        return false;

    const QString saved = m_context;
    m_context = line;
    const QString resolved = resolveVariables(line);
    *output += resolved;
    m_context = saved;
    return !resolved.isNull();
}

bool StyleSheetPreprocessor::parseImport(QString* line, QString* output)
{
    const QRegularExpressionMatch m = kImport.match(*line);
    if (!m.hasMatch())
        return false;
    const QString current = m_fileStack.isEmpty() ? QString() : m_fileStack.last();
    if (m.captured(4).isEmpty()) {
        m_errors.append(
            QStringLiteral("import clause for \"%1\" in file \"%2\" not terminated with semicolon.")
                .arg(m.captured(3), current));
    }
    const QString saved = m_context;
    m_context = m.captured(0);
    const QString name = resolveVariables(m.captured(3));
    if (!name.isEmpty()) {
        *output += processFile(name);
    } else {
        addFileError(current, QStringLiteral("contains empty style sheet file name in \"%1\" - ignoring...")
                                  .arg(m.captured(0)));
    }
    *line = m.captured(1) + line->mid(m.capturedEnd(0));
    m_context = saved;
    return true;
}

bool StyleSheetPreprocessor::parseDefinition(QString* line)
{
    const QRegularExpressionMatch m = kDefinition.match(*line);
    if (!m.hasMatch())
        return false;
    const QString saved = m_context;
    m_context = m.captured(0);
    defineVariable(m.captured(2), resolveVariables(m.captured(3)));
    *line = m.captured(1) + line->mid(m.capturedEnd(0));
    m_context = saved;
    return true;
}

QString StyleSheetPreprocessor::resolveVariables(const QString& text)
{
    const QString trimmedEnd = withoutTrailingBlanks(text);
    if (trimmedEnd.isEmpty())
        return trimmedEnd;
    QStringList expanding;
    const QString resolved = expandVariables(trimmedEnd, &expanding);
    // A line that resolved to nothing but blanks is no line at all.
    if (resolved.trimmed().isEmpty())
        return QString();
    return resolved;
}

// References are replaced left to right; a value is expanded before it is put
// in, with the names being expanded on the stack, so a value that leads back
// to its own name is reported once and dropped instead of growing forever.
QString StyleSheetPreprocessor::expandVariables(QString text, QStringList* expanding)
{
    int from = 0;
    for (;;) {
        const QRegularExpressionMatch m = kVariableRef.match(text, from);
        if (!m.hasMatch())
            return text;
        const QString value = variableValue(m.captured(0), expanding);
        text.replace(m.capturedStart(0), m.capturedLength(0), value);
        from = m.capturedStart(0) + value.size();
    }
}

QString StyleSheetPreprocessor::variableValue(const QString& name, QStringList* expanding)
{
    const auto it = m_variables.constFind(name);
    if (it == m_variables.constEnd()) {
        addVariableError(name, QStringLiteral("is not defined."));
        return QString();
    }
    if (expanding->contains(name)) {
        addVariableError(name, QStringLiteral("refers to itself."));
        return QString();
    }
    expanding->append(name);
    const QString value = expandVariables(it.value(), expanding);
    expanding->removeLast();
    return value;
}

void StyleSheetPreprocessor::addFileError(const QString& file, const QString& text)
{
    m_errors.append(kFilePrefix.arg(file) + text);
}

void StyleSheetPreprocessor::addVariableError(const QString& name, const QString& text)
{
    if (!m_fileStack.isEmpty() && !m_context.isEmpty())
        m_errors.append(kVariableInFilePrefix.arg(name, m_context, m_fileStack.last()) + text);
    else
        m_errors.append(kVariablePrefix.arg(name) + text);
}
