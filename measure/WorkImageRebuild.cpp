#include "WorkImageRebuild.h"

#include "DisplayGeometry.h"
#include "imaging/Bitmap.h"
#include "imaging/BitmapResize.h"
#include "imaging/BitmapRotate.h"

bool RebuildWorkImage(TMainFields& main, int mode, int fotoSizeItem, QSize imageArea) {
    if (main.OriginalImage.isNull() || main.OriginalImage.width() <= 0)
        return false;
    main.OriginalImage = ToBitmap24(main.OriginalImage);
    const QSize size =
        WorkImageSize(fotoSizeItem, main.OriginalImage.size(), imageArea, main.UseWidth);
    QImage work = NewBitmap(size.width(), size.height());
    BilinearResize(main.OriginalImage, work);
    if (mode == RebuildAreaAverage) {
        // The area average works on 32-bit pixels; the program keeps 24-bit bitmaps.
        const QImage source32 = main.OriginalImage.convertToFormat(Bitmap32Format);
        QImage work32 = work.convertToFormat(Bitmap32Format);
        AreaAverageResize(source32, work32);
        work = work32.convertToFormat(Bitmap24Format);
    }
    main.WorkImage = work;
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

bool UndoAnnotation(TMainFields& main) {
    QImage state = main.WorkImage;
    if (!main.AnnotationHistory.Undo(state))
        return false;
    main.WorkImage = state;
    return true;
}

bool RedoAnnotation(TMainFields& main) {
    QImage state = main.WorkImage;
    if (!main.AnnotationHistory.Redo(state))
        return false;
    main.WorkImage = state;
    return true;
}

bool UndoCropOrExposure(TMainFields& main) {
    QImage state = main.OriginalImage;
    if (!main.CropHistory.Undo(state))
        return false;
    main.OriginalImage = state;
    return true;
}

void RotateOriginalRight(TMainFields& main) {
    main.OriginalImage = ToBitmap24(main.OriginalImage);
    RotateRight90(main.OriginalImage);
}

void RotateOriginalLeft(TMainFields& main) {
    main.OriginalImage = ToBitmap24(main.OriginalImage);
    RotateLeft90(main.OriginalImage);
}
