#pragma once

#include "ParamSet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QString>

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

class QGridLayout;
class QLabel;
class QWidget;

/// A field whose text was not accepted, with the prompt that names it and what it accepts.
struct CRefusal {
    QLineEdit* m_pEdit;  ///< the field to focus
    QString m_strPrompt; ///< message for the user
};

/// Text of a number as the fields show it: the C locale and the shortest of 15 to 17 significant
/// digits that reads back to the same double (0.1 shows as "0.1", not "0.10000000000000001").
QString FormatValue(double value);

/// Reads a number from a field in the C locale (blanks around it ignored, no group separators)
/// and checks it against the kind and range of desc. On success value holds the number;
/// otherwise value is untouched and the refusal is returned.
std::optional<CRefusal> ReadNumber(QLineEdit* edit, const CFieldDesc& desc, double& value);

/// Reads the text of a field and checks it against the length bound of desc.
std::optional<CRefusal> ReadText(QLineEdit* edit, const CFieldDesc& desc, std::string& text);

/// Shows the refusal in a warning box over dialog, then focuses the field and selects its text.
void ShowRefusal(QWidget* dialog, const CRefusal& refusal);

/// The description of group.key in the parameter set; the key must exist.
const CFieldDesc& FieldDesc(std::string_view group, std::string_view key);

/// A label showing an SVG picture of the resources at its natural size, enlarged with the font.
QLabel* MakePicture(const QString& resource, QWidget* parent);

/// One row of a parameter group: description, symbol ("Ud ="), edit field and unit. The symbol
/// label is the field's buddy, so a mnemonic in it reaches the field.
struct CFieldRow {
    QLabel* m_pDescription; ///< may be null
    QLabel* m_pSymbol;
    QLineEdit* m_pEdit;
    QLabel* m_pUnit;

    /// Enables or greys the field together with its labels.
    void SetEnabled(bool enabled) const;
};

/// Adds a row at (row, column) of grid, taking four columns; an empty description adds no
/// label. The edit is named name, so tests and accessibility tools can find it.
CFieldRow AddFieldRow(QGridLayout* grid, int row, int column, const QString& description,
                      const QString& symbol, const QString& unit, const char* name);

/// The controls of one dialog bound to the members of its parameter structure T, in the order
/// of the data exchange. Ranges come from the parameter set's descriptions, so they are
/// defined once for the dialogs, the parameter file and kalvor-cli.
template <class T> class CFieldList {
public:
    void Bind(QLineEdit* edit, std::string_view group, std::string_view key, double T::*member) {
        m_entries.push_back({edit, nullptr, nullptr, &FieldDesc(group, key), member});
    }
    void Bind(QLineEdit* edit, std::string_view group, std::string_view key, int T::*member) {
        m_entries.push_back({edit, nullptr, nullptr, &FieldDesc(group, key), member});
    }
    void Bind(QLineEdit* edit, std::string_view group, std::string_view key,
              std::string T::*member) {
        const CFieldDesc& desc = FieldDesc(group, key);
        edit->setMaxLength(int(desc.m_nMaxLen));
        m_entries.push_back({edit, nullptr, nullptr, &desc, member});
    }
    /// A radio group stores the id of its chosen button (ids are the zero-based positions).
    void Bind(QButtonGroup* radios, int T::*member) {
        m_entries.push_back({nullptr, radios, nullptr, nullptr, member});
    }
    void Bind(QCheckBox* box, bool T::*member) {
        m_entries.push_back({nullptr, nullptr, box, nullptr, member});
    }

    /// Fills every control from params.
    void Load(const T& params) const {
        for (const CEntry& entry : m_entries)
            std::visit([&](auto member) { LoadEntry(entry, params.*member); }, entry.m_member);
    }

    /// Reads the controls into params in binding order and stops at the first refused field:
    /// the members before it are stored, it and those after it keep their values.
    std::optional<CRefusal> Store(T& params) const {
        for (const CEntry& entry : m_entries) {
            std::optional<CRefusal> refusal;
            std::visit([&](auto member) { refusal = StoreEntry(entry, params.*member); },
                       entry.m_member);
            if (refusal)
                return refusal;
        }
        return std::nullopt;
    }

    /// What OK does: checks every field into a copy of params; on a refusal shows the prompt
    /// (focusing the field) and returns false with params unchanged, otherwise stores them all.
    bool StoreAll(QWidget* pDialog, T& params) const {
        T edited = params;
        if (std::optional<CRefusal> refusal = Store(edited)) {
            ShowRefusal(pDialog, *refusal);
            return false;
        }
        params = edited;
        return true;
    }

private:
    struct CEntry {
        QLineEdit* m_pEdit;
        QButtonGroup* m_pRadios;
        QCheckBox* m_pCheck;
        const CFieldDesc* m_pDesc; ///< label and range of an edit field
        std::variant<double T::*, int T::*, bool T::*, std::string T::*> m_member;
    };

    static void LoadEntry(const CEntry& entry, double value) {
        entry.m_pEdit->setText(FormatValue(value));
    }
    static void LoadEntry(const CEntry& entry, int value) {
        if (entry.m_pRadios) {
            if (QAbstractButton* button = entry.m_pRadios->button(value))
                button->setChecked(true);
        } else {
            entry.m_pEdit->setText(QString::number(value));
        }
    }
    static void LoadEntry(const CEntry& entry, bool value) { entry.m_pCheck->setChecked(value); }
    static void LoadEntry(const CEntry& entry, const std::string& value) {
        entry.m_pEdit->setText(QString::fromStdString(value));
        entry.m_pEdit->setCursorPosition(0);
    }

    static std::optional<CRefusal> StoreEntry(const CEntry& entry, double& value) {
        return ReadNumber(entry.m_pEdit, *entry.m_pDesc, value);
    }
    static std::optional<CRefusal> StoreEntry(const CEntry& entry, int& value) {
        if (entry.m_pRadios) {
            if (entry.m_pRadios->checkedId() >= 0)
                value = entry.m_pRadios->checkedId();
            return std::nullopt;
        }
        double number = 0;
        std::optional<CRefusal> refusal = ReadNumber(entry.m_pEdit, *entry.m_pDesc, number);
        if (!refusal)
            value = int(number);
        return refusal;
    }
    static std::optional<CRefusal> StoreEntry(const CEntry& entry, bool& value) {
        value = entry.m_pCheck->isChecked();
        return std::nullopt;
    }
    static std::optional<CRefusal> StoreEntry(const CEntry& entry, std::string& value) {
        return ReadText(entry.m_pEdit, *entry.m_pDesc, value);
    }

    std::vector<CEntry> m_entries;
};
