// The executable carries the program icon and a version block naming the
// program and its version, as Explorer and the file's properties show them.

#include <QtTest>

#include <windows.h>
#include <shellapi.h>

#include <vector>

class TstExeResources : public QObject
{
    Q_OBJECT

    const std::wstring exe = QString::fromUtf8(VODEZ_EXE).replace(QLatin1Char('/'), QLatin1Char('\\')).toStdWString();

    QString stringValue(const std::vector<char>& block, const wchar_t* name) const
    {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\080404b0\\") + name;
        void* value = nullptr;
        UINT size = 0;
        if (!VerQueryValueW(block.data(), path.c_str(), &value, &size) || size == 0)
            return QString();
        return QString::fromWCharArray(static_cast<const wchar_t*>(value));
    }

private slots:
    void iconResource()
    {
        const UINT icons = ExtractIconExW(exe.c_str(), -1, nullptr, nullptr, 0);
        QCOMPARE(icons, 1u);
        HICON large = nullptr;
        QCOMPARE(ExtractIconExW(exe.c_str(), 0, &large, nullptr, 1), 1u);
        QVERIFY(large != nullptr);
        DestroyIcon(large);
    }

    void versionBlock()
    {
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &handle);
        QVERIFY2(size > 0, "no version block");
        std::vector<char> block(size);
        QVERIFY(GetFileVersionInfoW(exe.c_str(), 0, size, block.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT fixedSize = 0;
        QVERIFY(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
        const QStringList parts = QStringLiteral(VODEZ_TEST_VERSION).split(QLatin1Char('.'));
        QCOMPARE(parts.size(), 3);
        QCOMPARE(int(HIWORD(fixed->dwFileVersionMS)), parts[0].toInt());
        QCOMPARE(int(LOWORD(fixed->dwFileVersionMS)), parts[1].toInt());
        QCOMPARE(int(HIWORD(fixed->dwFileVersionLS)), parts[2].toInt());

        QCOMPARE(stringValue(block, L"ProductName"), QStringLiteral("VODEZ"));
        QCOMPARE(stringValue(block, L"ProductVersion"), QStringLiteral(VODEZ_TEST_VERSION));
        QCOMPARE(stringValue(block, L"FileVersion"), QStringLiteral(VODEZ_TEST_VERSION));
        QCOMPARE(stringValue(block, L"OriginalFilename"), QStringLiteral("VODEZ.exe"));
    }
};

QTEST_GUILESS_MAIN(TstExeResources)
#include "tst_exe_resources.moc"
