// One libFuzzer entry per reader of a settings file (FUZZ_<kind>): the bytes become the
// file in a temporary program folder and the real reader takes it. No reader refuses a
// file, so any exception, a crash, a sanitizer report or a broken round trip is a finding.
//
// Every round trip is load, save, load: what was read must be what is read back, so a
// save never drops or changes a setting the file held.

#include "capture/CamViewSettings.h"
#include "platform/IniFile.h"
#include "platform/TextCodec.h"
#include "settings/MCSystems.h"
#include "settings/MainSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace {

void Discard(QtMsgType, const QMessageLogContext&, const QString&) {}

// The program folder ("/" at the end) and the user's home, so that the readers' fall-back
// folders are made there and nowhere else.
std::unique_ptr<QTemporaryDir> home;

QString Folder() {
    return home->path() + QStringLiteral("/program/");
}

void WriteFile(const QString& path, QByteArrayView data) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(data.data(), data.size()) != data.size())
        std::abort();
}

[[maybe_unused]] QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        std::abort();
    return file.readAll();
}

// (section, key) of every line that looks like "key=value" under a section header, as the
// ini layer would name them; the reads below look each one up.
[[maybe_unused]] std::vector<std::pair<QString, QString>> KeysOf(QByteArrayView data) {
    std::vector<std::pair<QString, QString>> keys;
    QString section;
    bool inSection = false;
    for (QString line : DecodeText(data).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[')) {
            const qsizetype close = trimmed.indexOf(u']');
            section = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = true;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inSection && eq > 0 && !trimmed.startsWith(u';'))
            keys.emplace_back(section, line.left(eq).trimmed());
        if (keys.size() >= 64)
            break;
    }
    return keys;
}

[[maybe_unused]] void FuzzIniFile(QByteArrayView data) {
    const QString path = Folder() + QStringLiteral("fuzz.ini");
    WriteFile(path, data);
    const auto keys = KeysOf(data);
    const IniFile first(path);
    std::vector<QString> values;
    for (const auto& [section, key] : keys) {
        values.push_back(first.ReadString(section, key, QStringLiteral("\x01")));
        (void)first.ReadInteger(section, key, 0);
        (void)first.ReadFloat(section, key, 0);
        (void)first.ReadBool(section, key, false);
    }
    first.Save();
    const IniFile second(path);
    if (second.Sections() != first.Sections())
        std::abort();
    for (size_t i = 0; i < keys.size(); ++i)
        if (second.ReadString(keys[i].first, keys[i].second, QStringLiteral("\x01")) != values[i])
            std::abort();

    // A value written reads back as written (trimmed, as every value is read).
    IniFile third(path);
    for (const auto& [section, key] : keys) {
        if (key.isEmpty())
            continue;
        third.WriteString(section, key, QStringLiteral("written"));
        if (third.ReadString(section, key, {}) != QStringLiteral("written"))
            std::abort();
    }
}

[[maybe_unused]] void FuzzCalibrationFile(QByteArrayView data) {
    WriteFile(Folder() + CalibrationFileName(), data);
    MCSystemTable first;
    const int count = LoadCalibration(first, Folder());
    if (count < 0 || count > MaxMCSystems)
        std::abort();
    for (int i = 0; i < count; ++i) {
        const TMCsystem& s = first[i];
        if (s.NrOfObjectives < 0 || s.NrOfObjectives > MaxObjectives || s.DefaultObjective < 0 ||
            (s.NrOfObjectives > 0 && s.DefaultObjective >= s.NrOfObjectives))
            std::abort();
    }
    // The first save rounds the numbers to what the file keeps; from then on nothing moves.
    SaveCalibration(first, count, Folder());
    MCSystemTable second;
    if (LoadCalibration(second, Folder()) != count)
        std::abort();
    SaveCalibration(second, count, Folder());
    MCSystemTable third;
    if (LoadCalibration(third, Folder()) != count)
        std::abort();
    for (int i = 0; i < count; ++i)
        if (!(second[i] == third[i]))
            std::abort();
}

[[maybe_unused]] void FuzzMainSettings(QByteArrayView data) {
    const QString path = Folder() + MainSettingsFileName();
    WriteFile(path, data);
    auto load = [] {
        TMainSettings main;
        main.ProgramFolder = Folder();
        main.NewSampleDate = QDate(2024, 5, 17);
        (void)LoadMainSettings(main);
        return main;
    };
    // What a save writes, a load reads back: the second save writes the same file.
    SaveMainSettings(load());
    const QByteArray saved = ReadFile(path);
    SaveMainSettings(load());
    if (ReadFile(path) != saved)
        std::abort();
}

[[maybe_unused]] void FuzzCamViewSettings(QByteArrayView data) {
    WriteFile(Folder() + QLatin1String(CamViewIniName), data);
    auto load = [] {
        TCamViewFields fields;
        LoadCamViewSettings(fields, Folder());
        ReadDeviceFile(fields, Folder(), fields.CurrentDevice);
        return fields;
    };
    SaveCamViewSettings(load(), Folder());
    const QByteArray saved = ReadFile(Folder() + QLatin1String(CamViewIniName));
    SaveCamViewSettings(load(), Folder());
    if (ReadFile(Folder() + QLatin1String(CamViewIniName)) != saved)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qInstallMessageHandler(Discard);
    home = std::make_unique<QTemporaryDir>();
    if (!home->isValid() || !QDir().mkpath(Folder()))
        std::abort();
    const QByteArray root = home->path().toLocal8Bit();
    qputenv("HOME", root);
    qputenv("XDG_CONFIG_HOME", root + "/.config");
    qputenv("XDG_DATA_HOME", root + "/.local/share");
    qputenv("XDG_PICTURES_DIR", root + "/Pictures");
    qputenv("XDG_VIDEOS_DIR", root + "/Videos");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const QByteArrayView data(reinterpret_cast<const char*>(bytes), qsizetype(size));
#if defined(FUZZ_INI_FILE)
    FuzzIniFile(data);
#elif defined(FUZZ_CALIBRATION_FILE)
    FuzzCalibrationFile(data);
#elif defined(FUZZ_MAIN_SETTINGS)
    FuzzMainSettings(data);
#elif defined(FUZZ_CAMVIEW_SETTINGS)
    FuzzCamViewSettings(data);
#else
#error "no fuzz kind chosen"
#endif
    return 0;
}
