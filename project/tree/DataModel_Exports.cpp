// The exports of the project tree: the USF file and the three listings.
#include "DataModel_Index.h"

#include "TextListings.h"
#include "UsfExport.h"

namespace {

// A slot's caller has only the stream to go by: one whose export stopped
// short is marked as not written whole.
void markStopped(QTextStream& out, const ExportStatus& status)
{
    if (!status.ok())
        out.setStatus(QTextStream::WriteFailed);
}

} // namespace

ExportProgress DataModel_Index::exportProgress()
{
    return [this](int done, int total) { emit onExport(done, total); };
}

ExportStatus DataModel_Index::writeUsf(QTextStream& out)
{
    return UsfExport::Write(out, lines, DataDivI, exportProgress());
}

ExportStatus DataModel_Index::writeData(QTextStream& out, int exportDep)
{
    TextListings::DumpOptions options;
    options.depth = exportDep;
    if (project)
        options.config = project->getProjectConfig();
    options.divI = DataDivI;
    return TextListings::WriteData(out, lines, options, exportProgress());
}

void DataModel_Index::onExportData_USF(QTextStream& out)
{
    markStopped(out, writeUsf(out));
}

void DataModel_Index::onExportData(QTextStream& out, int exportType, int exportDep)
{
    Q_UNUSED(exportType)
    if (!dataCalc)
        return;
    markStopped(out, writeData(out, exportDep));
}

void DataModel_Index::onExportLog(QTextStream& out)
{
    markStopped(out, TextListings::WriteLog(out, lines));
}

void DataModel_Index::onExportPointTime(QTextStream& out)
{
    markStopped(out, TextListings::WritePointTime(out, lines));
}

bool DataModel_Index::exportUsfFile(const QString& path, ExportStatus* status)
{
    return WriteExportFile(path, [this](QTextStream& out) { return writeUsf(out); }, status);
}

bool DataModel_Index::exportDataFile(const QString& path, int exportType, int exportDep, ExportStatus* status)
{
    Q_UNUSED(exportType)
    if (!dataCalc) {
        if (status)
            *status = ExportStatus::failed(ExportFailure::WriteFailed, QStringLiteral("no decay processor"));
        return false;
    }
    return WriteExportFile(path, [this, exportDep](QTextStream& out) { return writeData(out, exportDep); }, status);
}

bool DataModel_Index::exportLogFile(const QString& path, ExportStatus* status)
{
    return WriteExportFile(path, [this](QTextStream& out) { return TextListings::WriteLog(out, lines); }, status);
}

bool DataModel_Index::exportPointTimeFile(const QString& path, ExportStatus* status)
{
    return WriteExportFile(path, [this](QTextStream& out) { return TextListings::WritePointTime(out, lines); },
                           status);
}
