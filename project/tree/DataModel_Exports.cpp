// The exports of the project tree: the USF file and the three listings.
#include "DataModel_Index.h"

#include "TextListings.h"
#include "UsfExport.h"

void DataModel_Index::onExportData_USF(QTextStream& out)
{
    UsfExport::Write(out, lines, DataDivI, [this](int written, int total) { emit onExport(written, total); });
}

void DataModel_Index::onExportData(QTextStream& out, int exportType, int exportDep)
{
    Q_UNUSED(exportType)
    if (!dataCalc)
        return;
    TextListings::DumpOptions options;
    options.depth = exportDep;
    if (project)
        options.config = project->getProjectConfig();
    options.divI = DataDivI;
    TextListings::WriteData(out, lines, options, [this](int done, int total) { emit onExport(done, total); });
}

void DataModel_Index::onExportLog(QTextStream& out)
{
    TextListings::WriteLog(out, lines);
}

void DataModel_Index::onExportPointTime(QTextStream& out)
{
    TextListings::WritePointTime(out, lines);
}

bool DataModel_Index::exportUsfFile(const QString& path, QString* errorText)
{
    return WriteExportFile(path, [this](QTextStream& out) { onExportData_USF(out); }, errorText);
}

bool DataModel_Index::exportDataFile(const QString& path, int exportType, int exportDep, QString* errorText)
{
    if (!dataCalc) {
        if (errorText)
            *errorText = tr("no decay processor");
        return false;
    }
    return WriteExportFile(path, [&](QTextStream& out) { onExportData(out, exportType, exportDep); }, errorText);
}

bool DataModel_Index::exportLogFile(const QString& path, QString* errorText)
{
    return WriteExportFile(path, [this](QTextStream& out) { onExportLog(out); }, errorText);
}

bool DataModel_Index::exportPointTimeFile(const QString& path, QString* errorText)
{
    return WriteExportFile(path, [this](QTextStream& out) { onExportPointTime(out); }, errorText);
}
