#include "dialogs/ParamField.h"

#include <QApplication>
#include <QFontInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

#include <algorithm>
#include <cstdlib>

QString FormatValue(double value) {
    QString text;
    for (int digits = 15; digits <= 17; ++digits) {
        text = QString::number(value, 'g', digits);
        if (text.toDouble() == value)
            break;
    }
    return text;
}

std::optional<CRefusal> ReadNumber(QLineEdit* edit, const CFieldDesc& desc, double& value) {
    // The C locale whatever the user's: the same text means the same number in a parameter
    // file, on the command line and here. A group separator would read "1,5" as 15.
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    const QString text = edit->text().trimmed();
    bool ok = false;
    const double number = c.toDouble(text, &ok);
    if (!ok) {
        const QString prompt = QString::fromStdString(desc.DisplayName()) + " \"" + text +
                               "\" is not a number: enter " +
                               QString::fromStdString(desc.AcceptedText()) + ".";
        return CRefusal{edit, prompt};
    }
    if (std::optional<std::string> message = CheckNumber(desc, number))
        return CRefusal{edit, QString::fromStdString(*message)};
    value = number;
    return std::nullopt;
}

std::optional<CRefusal> ReadText(QLineEdit* edit, const CFieldDesc& desc, std::string& text) {
    const std::string read = edit->text().toStdString();
    if (std::optional<std::string> message = CheckText(desc, read))
        return CRefusal{edit, QString::fromStdString(*message)};
    text = read;
    return std::nullopt;
}

void ShowRefusal(QWidget* dialog, const CRefusal& refusal) {
    QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(),
                    refusal.m_strPrompt, QMessageBox::Ok, dialog);
    box.exec();
    refusal.m_pEdit->setFocus(Qt::OtherFocusReason);
    refusal.m_pEdit->selectAll();
}

const CFieldDesc& FieldDesc(std::string_view group, std::string_view key) {
    const CFieldDesc* desc = FindField(group, key);
    if (!desc)
        std::abort(); // a misspelt key is a programming error, caught by every dialog test
    return *desc;
}

QLabel* MakePicture(const QString& resource, QWidget* parent) {
    auto* label = new QLabel(parent);
    QSvgRenderer renderer(resource);
    // The pictures are drawn for 12-pixel text; they grow with a larger user font.
    const qreal scale = std::max(1.0, QFontInfo(label->font()).pixelSize() / 12.0);
    const QSize size = (QSizeF(renderer.defaultSize()) * scale).toSize();
    const qreal ratio = parent ? parent->devicePixelRatioF() : qApp->devicePixelRatio();
    QPixmap pixmap(size * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    painter.end();
    label->setPixmap(pixmap);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

void CFieldRow::SetEnabled(bool enabled) const {
    for (QWidget* widget : {static_cast<QWidget*>(m_pDescription), static_cast<QWidget*>(m_pSymbol),
                            static_cast<QWidget*>(m_pEdit), static_cast<QWidget*>(m_pUnit)}) {
        if (widget)
            widget->setEnabled(enabled);
    }
}

CFieldRow AddFieldRow(QGridLayout* grid, int row, int column, const QString& description,
                      const QString& symbol, const QString& unit, const char* name) {
    QWidget* parent = grid->parentWidget();
    CFieldRow fields{};
    if (!description.isEmpty()) {
        fields.m_pDescription = new QLabel(description, parent);
        grid->addWidget(fields.m_pDescription, row, column);
    }
    fields.m_pSymbol = new QLabel(symbol, parent);
    fields.m_pSymbol->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(fields.m_pSymbol, row, column + 1);
    fields.m_pEdit = new QLineEdit(parent);
    fields.m_pEdit->setObjectName(name);
    fields.m_pEdit->setFixedWidth(fields.m_pEdit->fontMetrics().horizontalAdvance('0') * 11);
    grid->addWidget(fields.m_pEdit, row, column + 2);
    // Either label may carry the mnemonic that reaches the field.
    fields.m_pSymbol->setBuddy(fields.m_pEdit);
    if (fields.m_pDescription)
        fields.m_pDescription->setBuddy(fields.m_pEdit);
    fields.m_pUnit = new QLabel(unit, parent);
    grid->addWidget(fields.m_pUnit, row, column + 3);
    return fields;
}
