#include "WorkImageRebuild.h"

#include "DisplayGeometry.h"
#include "imaging/Bitmap.h"
#include "imaging/BitmapResize.h"
#include "imaging/BitmapRotate.h"
#include "platform/Errors.h"

#include <utility>

bool RebuildWorkImage(TMainFields& main, int mode, int fotoSizeItem, QSize imageArea) {
    if (main.OriginalImage.isNull() || main.OriginalImage.width() <= 0)
        return false;
    main.OriginalImage = ToBitmap24(main.OriginalImage);
    const QSize size =
        WorkImageSize(fotoSizeItem, main.OriginalImage.size(), imageArea, main.UseWidth);
    // Refused before the old work image goes: a size no bitmap can have (a fixed width for
    // a very tall, narrow image) leaves the image on display and its history as they are.
    if (!BitmapSizeAllowed(size.width(), size.height()))
        throw QuvarError(QStringLiteral("Image size %1 x %2 is not supported")
                             .arg(size.width())
                             .arg(size.height()));
    // Release the old work image first: it may be as large as the new one.
    main.WorkImage = QImage();
    if (mode == RebuildAreaAverage) {
        // Every pixel comes from the area average: no bilinear pass before it.
        QImage work = NewBitmap(size.width(), size.height());
        AreaAverageResize(main.OriginalImage, work);
        main.WorkImage = std::move(work);
    } else if (size == main.OriginalImage.size()) {
        // At original size the work image shares the original's pixels until either is
        // written to.
        main.WorkImage = main.OriginalImage;
    } else {
        QImage work = NewBitmap(size.width(), size.height());
        BilinearResize(main.OriginalImage, work);
        main.WorkImage = std::move(work);
    }
    main.AnnotationHistory.Clear();
    main.AnnotationHistory.Add(main.WorkImage);
    if (mode == RebuildNewImage) {
        main.CropHistory.Clear();
        main.CropHistory.Add(main.OriginalImage);
    }
    return true;
}

void MakeWorkImagePermanent(TMainFields& main, double calibrationPerPixel) {
    main.ImageState = ImageFromComment;
    main.CurrentCalibration = calibrationPerPixel;
    main.ImageCalibration = calibrationPerPixel;
    main.CaptureWidthRatio = 1.0;
    main.OriginalImage = main.WorkImage.copy();
}

// The image is handed to the history, not shared with it, so that a step back or forward
// writes only the tiles that differ into its own pixels; it is taken back either way.
bool StepHistory(BmpHistory& history, QImage& image, bool (BmpHistory::*step)(QImage&)) {
    QImage state = std::move(image);
    const bool stepped = (history.*step)(state);
    image = std::move(state);
    return stepped;
}

bool UndoAnnotation(TMainFields& main) {
    return StepHistory(main.AnnotationHistory, main.WorkImage, &BmpHistory::Undo);
}

bool RedoAnnotation(TMainFields& main) {
    return StepHistory(main.AnnotationHistory, main.WorkImage, &BmpHistory::Redo);
}

bool UndoCropOrExposure(TMainFields& main) {
    return StepHistory(main.CropHistory, main.OriginalImage, &BmpHistory::Undo);
}

void RotateOriginalRight(TMainFields& main) {
    main.OriginalImage = ToBitmap24(main.OriginalImage);
    RotateRight90(main.OriginalImage);
}

void RotateOriginalLeft(TMainFields& main) {
    main.OriginalImage = ToBitmap24(main.OriginalImage);
    RotateLeft90(main.OriginalImage);
}
