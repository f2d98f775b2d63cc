#include "dialogs/ImageExport.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QSpinBox>

#include <algorithm>

namespace {

const char* const kPngFilter = "PNG image (*.png)";
const char* const kSvgFilter = "SVG image (*.svg)";

QSpinBox* SideBox(int nValue, QWidget* pParent) {
    auto* pBox = new QSpinBox(pParent);
    pBox->setRange(CImageSize::kMinSide, CImageSize::kMaxSide);
    pBox->setSuffix(" px");
    pBox->setValue(std::clamp(nValue, CImageSize::kMinSide, CImageSize::kMaxSide));
    return pBox;
}

} // namespace

CImageSize::CImageSize(const QSize& size, QWidget* pParent)
    : QDialog(pParent), m_pWidth(SideBox(size.width(), this)),
      m_pHeight(SideBox(size.height(), this)) {
    setWindowTitle("Image size");
    auto* pForm = new QFormLayout(this);
    pForm->addRow("&Width:", m_pWidth);
    pForm->addRow("&Height:", m_pHeight);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    pForm->addRow(pButtons);
}

QSize CImageSize::Size() const {
    return {m_pWidth->value(), m_pHeight->value()};
}

std::optional<CImageRequest> AskImageExport(QWidget* pParent, const QSize& viewSize) {
    QFileDialog dialog(pParent, "Export plot as image");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({kPngFilter, kSvgFilter});
    dialog.setDefaultSuffix("png");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        dialog.setDefaultSuffix(f == kSvgFilter ? "svg" : "png");
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    CImageRequest request;
    request.m_strPath = dialog.selectedFiles().first();
    // The name's own suffix decides; a name with another suffix gets the filter's.
    const QString strSuffix = QFileInfo(request.m_strPath).suffix().toLower();
    if (strSuffix != "png" && strSuffix != "svg")
        request.m_strPath += dialog.selectedNameFilter() == kSvgFilter ? ".svg" : ".png";
    request.m_bSvg = request.m_strPath.endsWith(".svg", Qt::CaseInsensitive);
    CImageSize dlgSize(viewSize, pParent);
    if (dlgSize.exec() != QDialog::Accepted)
        return std::nullopt;
    request.m_size = dlgSize.Size();
    return request;
}
