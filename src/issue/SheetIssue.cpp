#include "SheetIssue.h"

#include "ui/Prompter.h"
#include "cards/CardStore.h"
#include "cards/UnitCart.h"
#include "dataset/AtomicFile.h"
#include "dataset/StrictInt.h"
#include "dataset/WorkDir.h"
#include "report/ReportForm.h"
#include "CardLayout.h"

#include <QDir>

#include <exception>

namespace bolaris {

namespace {

const char *const kModelNames[] = {"Check14", "Check3", "Check4", "Check2", "Check1", "CheckG", "CheckGG", "Check3A4"};

QString placeField(int row, int column) { return QStringLiteral("N%1%2").arg(row).arg(column); }

} // namespace

std::optional<PrintModel> modelFromName(const QString &name)
{
    for (int i = 0; i < 8; ++i)
        if (name.compare(QLatin1String(kModelNames[i]), Qt::CaseInsensitive) == 0)
            return PrintModel(i);
    return std::nullopt;
}

void ReportForms::add(ReportForm *form)
{
    const QString &name = form->objectName();
    ReportForm **slot = name == QLatin1String("TFormCar")      ? &car
                        : name == QLatin1String("TFormCar4")   ? &car4
                        : name == QLatin1String("TFormCar2")   ? &car2
                        : name == QLatin1String("TFormCar1")   ? &car1
                        : name == QLatin1String("TFormCarG")   ? &carG
                        : name == QLatin1String("TFormCarGG")  ? &carGG
                        : name == QLatin1String("TFormCar3A4") ? &car3A4
                                                               : nullptr;
    if (slot)
        *slot = form;
}

void SheetIssue::defineSheet(Dataset &d, int tickets, int rows)
{
    d.clearFieldDefs();
    d.addFieldDef(QStringLiteral("Numero"), FieldType::Integer);
    for (int i = 1; i <= tickets; ++i)
        d.addFieldDef(QStringLiteral("Cartao%1").arg(i), FieldType::Integer);
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= kColumns; ++c)
            d.addFieldDef(placeField(r, c), FieldType::String, 2);
    d.setIndexFieldNames(QStringLiteral("Numero"));
}

void SheetIssue::appendCard(Dataset &d, int number, CartelaString text, const QString &fill)
{
    // Every card holds the same 90 numbers: their texts are made once, and a
    // card's places only point at them (a great part of the time of a large issue).
    static const std::array<QVariant, kCellCount + 1> numbers = [] {
        std::array<QVariant, kCellCount + 1> texts;
        for (int n = 1; n <= kCellCount; ++n)
            texts[size_t(n)] = QString::number(n);
        return texts;
    }();
    const QVariant fillValue(fill);
    // The 162 places in field order: the fill text, then the 90 numbers in their columns.
    std::array<const QVariant *, kCardRows * kColumns> places;
    places.fill(&fillValue);
    for (int k = 1; k <= kCellCount; ++k) {
        const std::string_view cell = CellText(text, k);
        const int column = CellColumn(cell);
        const int value = CellNumber(cell);
        if (column >= 1 && column <= kColumns && value >= 1 && value <= kCellCount) // else malformed: left empty
            places[size_t((CellRow(k) - 1) * kColumns + column - 1)] = &numbers[size_t(value)];
    }
    d.insert();
    d.setValue(0, number);
    for (int i = 1; i <= 6; ++i)
        d.setValue(i, TicketNumber(number, i));
    for (size_t p = 0; p < places.size(); ++p)
        d.setValue(7 + int(p), *places[p]);
    d.post();
}

SheetIssue::SheetIssue(const QString &dir)
    : m_dir(dir), m_cart(QStringLiteral("TableCart")), m_cartG(QStringLiteral("TableCartG")),
      m_cart3A4(QStringLiteral("TableCart3A4"))
{
    m_cart.setDirectory(dir);
    m_cart.setFileName(QStringLiteral("cartelas.cds"));
    m_cartG.setDirectory(dir);
    m_cartG.setFileName(QStringLiteral("CartelasG.cds"));
    m_cart3A4.setDirectory(dir);
    m_cart3A4.setFileName(QStringLiteral("Cartelas3A4.cds"));
}

QString SheetIssue::fillText(const QString &typed) { return typed.trimmed().left(2); }

bool SheetIssue::buildTableCart(const IssueRequest &request, const CartelaTable &cards, Prompter &prompter)
{
    const QString fill = fillText(request.fillText);
    const QString series = request.seriesText.trimmed();
    if (series.isEmpty() || !QLatin1String(kSeriesLetters.data(), qsizetype(kSeriesLetters.size())).contains(series)) {
        prompter.inform(QStringLiteral("Número da série a emitir"), QStringLiteral("Série inválida. Corrija."),
                        MessageIcon::Information);
        return false;
    }
    const char letter = char(series.at(0).unicode());
    const std::optional<int> first = parseStrictInt(request.firstCard);
    std::optional<int> last = parseStrictInt(request.lastCard);
    if (last && *last > kCardsPerSeries)
        last = kCardsPerSeries;
    if (!first || !last || *first < 1 || *first > *last) {
        prompter.inform(QStringLiteral("Número das cartelas a emitir"),
                        QStringLiteral("A numeração das cartelas excede o permitido. Corrija."),
                        MessageIcon::Information);
        return false;
    }
    // A card whose text cannot be decoded (series B to L without
    // "compl22.cds", a damaged record) would print garbage: refused before
    // anything is changed. Any other card is issued as it is.
    if (const auto unusable = cards.firstUnusable(letter, *first, *last, CartelaTable::CardCheck::Readable)) {
        prompter.inform(QStringLiteral("Número das cartelas a emitir"),
                        CartelaTable::unusableText(letter, *unusable) + QStringLiteral(" Corrija."),
                        MessageIcon::Information);
        return false;
    }

    // A folder that cannot take the datasets is found before anything changes.
    if (const int error = WorkDir::writableError(m_dir)) {
        prompter.inform(QStringLiteral("Emissão de cartelas"),
                        QStringLiteral("A pasta de trabalho %1 não pode ser gravada: %2. Nenhuma cartela foi emitida.")
                            .arg(QDir::toNativeSeparators(m_dir), reasonPortuguese(error)),
                        MessageIcon::Information);
        return false;
    }

    closeAll();
    WorkDir::remove(m_dir, m_cart.fileName());
    defineSheet(m_cart, 6, kCardRows);
    m_cart.createDataset();
    for (int n = *first; n <= *last; ++n)
        appendCard(m_cart, n, cards.card(letter, n), fill);
    return true;
}

PreviewJob SheetIssue::prepareModel(PrintModel model, const QString &seriesText, const ReportForms &forms)
{
    auto captions = [&](ReportForm *form, int count) {
        for (int k = 1; k <= count; ++k)
            form->setLabel(seriesLabel(k), seriesText);
    };
    switch (model) {
    case PrintModel::CheckG:
        captions(forms.carG, 6);
        return {forms.carG, &m_cart};
    case PrintModel::CheckGG:
        BuildTableCartG();
        captions(forms.carGG, 3);
        return {forms.carGG, &m_cartG};
    case PrintModel::Check1:
        captions(forms.car1, 6);
        return {forms.car1, &m_cart};
    case PrintModel::Check2:
        captions(forms.car2, 6);
        return {forms.car2, &m_cart};
    case PrintModel::Check3:
        captions(forms.car, 1);
        return {forms.car, &m_cart};
    case PrintModel::Check4:
        PreviewCar4Sheet(*forms.car4, seriesText, 320, 210, 2, true);
        return {forms.car4, &m_cart};
    case PrintModel::Check14:
        PreviewCar4Sheet(*forms.car4, seriesText, 160, 105, 1, false);
        return {forms.car4, &m_cart};
    case PrintModel::Check3A4:
        BuildTableCart3A4();
        captions(forms.car3A4, 1);
        return {forms.car3A4, &m_cart3A4};
    }
    return {};
}

void SheetIssue::PreviewCar4Sheet(ReportForm &form, const QString &seriesText, double paperLength, double paperWidth,
                                  int columns, bool cutLines)
{
    form.setLabel(QStringLiteral("LabelSerie"), seriesText);
    form.setPaperLength(paperLength);
    form.setPaperWidth(paperWidth);
    form.setColumns(columns);
    form.setCutLineRight(cutLines);
    form.setCutLineBottom(cutLines);
}

void SheetIssue::finishModel(PrintModel model)
{
    if (model == PrintModel::CheckGG)
        m_cartG.close();
    else if (model == PrintModel::Check3A4)
        m_cart3A4.close();
}

void SheetIssue::closeAll()
{
    // Every dataset ends up closed; the first failure is reported.
    std::exception_ptr failure;
    for (Dataset *d : {&m_cartG, &m_cart3A4, &m_cart}) {
        try {
            d->close();
        } catch (const DatasetError &) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void SheetIssue::closeAllQuietly() noexcept
{
    try {
        closeAll();
    } catch (const DatasetError &) {
        // the caller is already reporting the failure that brought it here
    }
}

void SheetIssue::BuildTableCartG() { buildDerived(m_cartG, 3); }
void SheetIssue::BuildTableCart3A4() { buildDerived(m_cart3A4, 2); }

void SheetIssue::buildDerived(Dataset &target, int tickets)
{
    target.close();
    WorkDir::remove(m_dir, target.fileName());
    const int rows = 3 * tickets;
    defineSheet(target, tickets, rows);
    target.createDataset();
    const int sourcePlaces = m_cart.fieldIndex(QStringLiteral("N11"));
    const int targetPlaces = target.fieldIndex(QStringLiteral("N11"));
    for (m_cart.first(); !m_cart.eof(); m_cart.next()) {
        const Row source = m_cart.rowAt(m_cart.recNo());
        for (int part = 0; part < 6 / tickets; ++part) {
            target.insert();
            target.setValue(0, source[0]);
            for (int t = 1; t <= tickets; ++t)
                target.setValue(t, source[size_t(part * tickets + t)]);
            for (int p = 0; p < rows * kColumns; ++p)
                target.setValue(targetPlaces + p, source[size_t(sourcePlaces + part * rows * kColumns + p)]);
            target.post();
        }
    }
}

} // namespace bolaris
