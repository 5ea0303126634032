#pragma once

#include "cards/UnitCart.h"
#include "dataset/Dataset.h"

#include <QString>

#include <array>
#include <optional>

namespace bolaris {

class CartelaTable;
class Prompter;
class ReportForm;

enum class PrintModel { Check14, Check3, Check4, Check2, Check1, CheckG, CheckGG, Check3A4 };

// The model of a radio button's name ("Check14" ...), case ignored.
std::optional<PrintModel> modelFromName(const QString &name);

// The seven report forms by name.
struct ReportForms {
    ReportForm *car = nullptr;   // TFormCar
    ReportForm *car4 = nullptr;  // TFormCar4
    ReportForm *car2 = nullptr;  // TFormCar2
    ReportForm *car1 = nullptr;  // TFormCar1
    ReportForm *carG = nullptr;  // TFormCarG
    ReportForm *carGG = nullptr; // TFormCarGG
    ReportForm *car3A4 = nullptr; // TFormCar3A4
    std::array<ReportForm *, 7> all() const { return {car, carG, carGG, car3A4, car1, car2, car4}; }
    // Puts a form into its slot, found by the form's name.
    void add(ReportForm *form);
};

// What "Emite" reads from the Issue panel.
struct IssueRequest {
    QString fillText;   // EditSimb
    QString seriesText; // EditSerie, as typed
    QString firstCard;  // EditCartin
    QString lastCard;   // EditCartfin
    PrintModel model = PrintModel::Check14;
};

// The report to preview: its form and the dataset it reads.
struct PreviewJob {
    ReportForm *form = nullptr;
    Dataset *dataset = nullptr;
};

// The issue of cards: the sheet dataset TableCart ("cartelas.cds") and the
// derived datasets of the half-card and third-card models.
class SheetIssue {
public:
    explicit SheetIssue(const QString &dir);

    Dataset &TableCart() { return m_cart; }
    Dataset &TableCartG() { return m_cartG; }
    Dataset &TableCart3A4() { return m_cart3A4; }

    // Checks the request and rebuilds TableCart, left open with one record per
    // card. False, with the message shown and nothing changed, when refused.
    bool buildTableCart(const IssueRequest &request, const CartelaTable &cards, Prompter &prompter);

    // The model step before the preview: derived dataset, captions, paper.
    PreviewJob prepareModel(PrintModel model, const QString &seriesText, const ReportForms &forms);
    // After the preview closed: the derived dataset is written.
    void finishModel(PrintModel model);
    // Closes TableCart (writing "cartelas.cds") and any derived dataset left
    // open; all are closed also when one fails, then the first failure is thrown.
    void closeAll();
    // The same on an error path, where nothing may be thrown.
    void closeAllQuietly() noexcept;

    void BuildTableCartG();
    void BuildTableCart3A4();
    static void PreviewCar4Sheet(ReportForm &form, const QString &seriesText, double paperLength, double paperWidth,
                                 int columns, bool cutLines);

    // The fill text of the request: trimmed, at most two characters.
    static QString fillText(const QString &typed);

    // The fields of a sheet record: Numero, Cartao1.., then the places N11..,
    // row by row; ordered by Numero.
    static void defineSheet(Dataset &d, int tickets, int rows);
    // Appends the record of one card (6 tickets, 18 rows) to a dataset defined
    // by defineSheet: its ticket numbers, its numbers in their places and the
    // fill text in the others. text must be a readable card text (IsReadableCard).
    static void appendCard(Dataset &d, int number, CartelaString text, const QString &fill);

private:
    void buildDerived(Dataset &target, int ticketsPerRecord);

    QString m_dir;
    Dataset m_cart;
    Dataset m_cartG;
    Dataset m_cart3A4;
};

} // namespace bolaris
