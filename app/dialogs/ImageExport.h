#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include <optional>

class QSpinBox;

/// What "Export plot as image..." writes: the file, its kind and the drawing's size.
struct CImageRequest {
    QString m_strPath; ///< destination, with its suffix
    bool m_bSvg;       ///< SVG (vector) rather than PNG
    QSize m_size;      ///< drawing area [pixels]
};

/// "Image size": the width and height of the drawing, the view's own size offered first.
class CImageSize : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMinSide = 100;   ///< narrowest drawing that holds a plot [pixels]
    static constexpr int kMaxSide = 10000; ///< widest drawing written [pixels]

    CImageSize(const QSize& size, QWidget* pParent = nullptr);
    QSize Size() const;

    QSpinBox* m_pWidth;
    QSpinBox* m_pHeight;
};

/// The save-file dialog of "Export plot as image..." (filters "PNG image (*.png)" and
/// "SVG image (*.svg)", the suffix of the chosen filter appended to a name without one, a
/// confirmation before a file is replaced), then CImageSize. Nothing on Cancel in either.
std::optional<CImageRequest> AskImageExport(QWidget* pParent, const QSize& viewSize);
