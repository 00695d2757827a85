#include "ImageFileCommands.h"

#include "imaging/AutoFileName.h"
#include "imaging/Bitmap.h"
#include "imaging/ImageFiles.h"
#include "measure/Calibration.h"
#include "measure/ImageCalibrationState.h"
#include "measure/McSystemAccess.h"
#include "platform/Errors.h"
#include "settings/MainSettings.h"
#include "settings/SettingsUtilities.h"

#include <QDir>
#include <QFileInfo>

QString MakeAutoFileName(const TMainFields& Main, int kind) {
    AutoNameInputs inputs;
    inputs.NamingScheme = Main.NamingScheme;
    inputs.Folder =
        NamingFolder(kind, Main.PhotoFolder, Main.SelectedFolder, Main.AlternativeFolder);
    inputs.SampleDate = Main.SampleDate;
    if (const TMCsystem* system = CurrentSystem(Main);
        system && ObjectiveInUse(*system, system->CurrentObjective)) {
        const ObjCal& objective = system->Objectives[size_t(system->CurrentObjective)];
        inputs.Magnification = objective.Obj;
        inputs.ObjectiveLabel = objective.ObjStr;
    }
    inputs.SampleName = Main.SampleName;
    inputs.FileCounter = Main.FileCounter;
    inputs.Extension = Main.SaveExtension;
    return MakeAutoFileName(inputs);
}

ImageFileContent ReadImageFile(const QString& path) {
    if (!IsExistingFile(path))
        throw QuvarError(QStringLiteral("The file %1 does not exist.").arg(path));
    ImageFileContent content;
    LoadImageWithComment(content.Image, path, content.Comment);
    if (content.Image.isNull() || content.Image.width() <= 0)
        throw QuvarError(QStringLiteral("%1 is no image file this program can read "
                                        "(JPEG, PNG, TIFF or BMP).")
                             .arg(path));
    return content;
}

void TakeOpenedImage(TMainFields& Main, const QString& path, ImageFileContent content) {
    Main.UserCommentLines.clear();
    Main.SystemCommentLines.clear();
    Main.MCSystemCommentLines.clear();
    Main.CurrentFileName = path;
    Main.OpenedExtension = QFileInfo(path).suffix();
    Main.SaveExtension = Main.OpenedExtension;
    Main.OriginalImage = ToBitmap24(content.Image);
    // Shared, not copied: the rebuild that follows gives the work image its own pixels.
    Main.WorkImage = Main.OriginalImage;
    Main.CommentLines = std::move(content.Comment);
    // The sample date of new photos until the comment names the image's own, so an image
    // without one never shows an earlier image's date or no date at all.
    Main.SampleDate = Main.NewSampleDate;
    const FolderLocation location = SplitFolderLocation(LocationFolder(Main.SelectedFolder));
    Main.ImageLocation = location.Location;
    Main.ImageCoordinates = location.Coordinates;
}

void ListFolderImages(TMainFields& Main, const QString& path) {
    Main.ListBox1.Items.clear();
    ListImageFiles(QFileInfo(path).absolutePath(), Main.ListBox1.Items);
    const QString wanted = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    Main.ListBox1.Tag = -1;
    for (int i = 0; i < Main.ListBox1.Items.size(); ++i)
        if (QDir::cleanPath(Main.ListBox1.Items[i]).compare(wanted, Qt::CaseInsensitive) == 0) {
            Main.ListBox1.Tag = i;
            break;
        }
}

QString FillCommentForSaving(TMainFields& Main, const QString& line1, const QString& line2) {
    // The comment records the calibration of the pixels saved, whatever panel choice last
    // set CurrentCalibration to an objective's value at the capture width.
    Main.CurrentCalibration = EffectiveCalibration(Main).MicrometresPerPixel;
    FillSystemComment(Main, line1, line2);
    FillMCSystemComment(Main);
    return AssembleCommentLines(Main);
}

void RefuseUnsavableType(const QString& path) {
    if (ImageFileTypeOf(path) == ImageFileType::None)
        throw QuvarError(
            QStringLiteral("Cannot save %1: images are saved as .jpg, .png, .tif, .tiff or "
                           ".bmp. Choose one of these types.")
                .arg(path));
}

QString SaveWorkImageWithOptions(TMainFields& Main, const QString& path, const QString& location,
                                 const QString& coordinates, const QString& commentLine1,
                                 const QString& commentLine2) {
    RefuseUnsavableType(path);
    if (Main.ImageState > ImageAssumed) {
        Main.ImageLocation = location;
        Main.ImageCoordinates = coordinates;
    } else {
        Main.PhotoLocation = location;
        Main.PhotoCoordinates = coordinates;
    }
    const QString text = FillCommentForSaving(Main, commentLine1, commentLine2);
    SaveImageWithComment(Main.WorkImage, path, Main.CommentLines, Main.WriteBmpComment);
    return text;
}

QString SaveWorkImageAs(TMainFields& Main, const QString& path) {
    RefuseUnsavableType(path);
    const bool ownLocations = Main.ImageState > ImageAssumed;
    const QString text =
        FillCommentForSaving(Main, ownLocations ? Main.ImageLocation : Main.PhotoLocation,
                             ownLocations ? Main.ImageCoordinates : Main.PhotoCoordinates);
    SaveImageWithComment(Main.WorkImage, path, Main.CommentLines, Main.WriteBmpComment);
    Main.FileCounter = NextFileCounter(Main.FileCounter);
    return text;
}
