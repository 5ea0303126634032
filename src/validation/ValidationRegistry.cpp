#include "ValidationRegistry.h"
#include "RegistryNames.h"
#include "RegistryWatch.h"
#include "ServerRegistry.h"

#include "ui/Prompter.h"
#include "cards/UnitCart.h"
#include "dataset/StrictInt.h"
#include "dataset/AtomicFile.h"
#include "dataset/WorkDir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>

namespace bolaris {

namespace {

using namespace registrynames;

void defineVali(Dataset &d)
{
    d.clearFieldDefs();
    d.addFieldDef(kSerie, FieldType::String, 1);
    d.addFieldDef(kNumero, FieldType::Integer);
}

void defineValiC(Dataset &d)
{
    d.clearFieldDefs();
    d.addFieldDef(kSerie, FieldType::String, 1);
    d.addFieldDef(kCartao, FieldType::Integer);
    d.addFieldDef(kCartela, FieldType::Integer);
}

using Kind = DatasetError::Kind;

[[noreturn]] void damaged(const Dataset &d, const QString &what)
{
    throw DatasetError(QStringLiteral("%1: %2").arg(d.fileName(), what), Kind::Damaged);
}

bool isInteger(const QVariant &v) { return v.typeId() == QMetaType::Int; }

// A registry file must have exactly the registry's fields, and every record
// must keep the registry's rules; a file that does not is damaged.
void checkContent(const Dataset &loaded, void (*define)(Dataset &))
{
    Dataset expected;
    define(expected);
    const std::vector<FieldDef> &want = expected.fieldDefs();
    const std::vector<FieldDef> &have = loaded.fieldDefs();
    bool same = want.size() == have.size();
    for (size_t i = 0; same && i < want.size(); ++i)
        same = have[i].name.compare(want[i].name, Qt::CaseInsensitive) == 0 && have[i].type == want[i].type
               && have[i].size == want[i].size && have[i].required == want[i].required;
    if (!same)
        damaged(loaded, QStringLiteral("its fields are not the registry's fields"));
    const bool tickets = want.size() == 3;
    for (int r = 0; r < loaded.recordCount(); ++r) {
        const Row &row = loaded.rowAt(r);
        const QString serie = row[0].typeId() == QMetaType::QString ? row[0].toString() : QString();
        const bool serieOk =
            serie.size() == 1 && serie.at(0).unicode() < 128 && IsSeriesLetter(char(serie.at(0).unicode()));
        bool numbersOk = isInteger(row[1]);
        if (!tickets)
            numbersOk = numbersOk && row[1].toInt() >= 1 && row[1].toInt() <= kCardsPerSeries;
        else
            numbersOk = numbersOk && row[1].toInt() >= 1 && row[1].toInt() <= kTicketsPerSeries && isInteger(row[2])
                        && row[2].toInt() == CardOfTicket(row[1].toInt());
        if (!serieOk || !numbersOk) {
            QStringList values;
            for (const QVariant &v : row)
                values << (v.isNull() ? QStringLiteral("null") : QLatin1Char('\'') + v.toString() + QLatin1Char('\''));
            damaged(loaded, QStringLiteral("record %1 (%2) breaks the registry's rules")
                                .arg(r + 1)
                                .arg(values.join(QStringLiteral(", "))));
        }
    }
}

struct Part {
    Dataset &dataset;
    const char *fileName;
    void (*define)(Dataset &);
    const char *indexName;
    const char *indexFields;
};

// Opens one registry file; nothing when it opened, else why it did not.
std::optional<DatasetError> openPart(const Part &p, const QString &dir, bool readOnly)
{
    Dataset &d = p.dataset;
    d.setDirectory(dir);
    d.setFileName(QLatin1String(p.fileName));
    d.setDurable(true);
    d.setReadOnly(readOnly);
    d.setIndexFieldNames(QString()); // its fields are known only once checked
    try {
        p.define(d);
        d.open();
    } catch (const DatasetError &e) {
        d.close();
        p.define(d); // the panels keep reading the registry's own fields, not the file's
        return e;
    }
    // What the file holds is read: a fault in it is proven damage.
    try {
        checkContent(d, p.define);
        d.setIndexFieldNames(QLatin1String(p.indexFields));
        d.addIndex(QLatin1String(p.indexName), QLatin1String(p.indexFields), Dataset::Primary | Dataset::Unique);
    } catch (const DatasetError &e) {
        d.close();
        p.define(d);
        return DatasetError(e.message(), Kind::Damaged, e.forOperator());
    }
    return std::nullopt;
}

} // namespace

ValidationRegistry::ValidationRegistry(const QString &dir, const RegistryLocation &location)
    : m_dir(dir), m_vali(QStringLiteral("TableVali")), m_valiC(QStringLiteral("TableValiC")), m_location(location)
{
    m_vali.beforeDelete = [this](Dataset &d) { TableValiBeforeDelete(d); };
    if (location.isServer()) {
        m_server = std::make_unique<ServerRegistry>(location);
        m_watch = std::make_unique<RegistryWatch>(location);
        QObject::connect(m_watch.get(), &RegistryWatch::read, m_watch.get(),
                         [this](const ServerRegistry::Content &content, qint64 startedAt) {
                             if (m_access == Access::Unavailable && m_vali.isOpen())
                                 m_access = Access::Writable; // the server was not there at start
                             applyServerContent(content, startedAt);
                         });
        QObject::connect(m_watch.get(), &RegistryWatch::connectionLost, m_watch.get(), [this](const QString &why) {
            if (m_access == Access::Unavailable)
                m_refusal = why;
        });
    }
}

ValidationRegistry::~ValidationRegistry() = default;

ValidationRegistry::Lock ValidationRegistry::lock()
{
    if (m_server)
        return Lock::Taken; // the server keeps its clients apart
    if (!m_lock) {
        m_lock = std::make_unique<QLockFile>(QDir(m_dir).filePath(QStringLiteral(".bolaris-registry.lock")));
        m_lock->setStaleLockTime(0); // a lock of a dead process is taken over at once
    }
    m_lockHolder = 0;
    if (m_lock->isLocked() || m_lock->tryLock(0))
        return Lock::Taken;
    if (m_lock->error() != QLockFile::LockFailedError)
        return Lock::FolderNotWritable;
    QString host, app;
    m_lock->getLockInfo(&m_lockHolder, &host, &app);
    return app == QLatin1String("bolaris-cli") ? Lock::HeldByTool : Lock::HeldByProgram;
}

ValidationRegistry::Opened ValidationRegistry::open(bool readOnly)
{
    m_refusal.clear();
    if (m_server)
        return openServer();
    const Part parts[] = {{m_vali, kValiFile, defineVali, "Validadas", "Serie;Numero"},
                          {m_valiC, kValiCFile, defineValiC, "Cartoes", "Serie;Cartao"}};
    std::optional<DatasetError> failure;
    for (const Part &p : parts) {
        std::optional<DatasetError> e = openPart(p, m_dir, readOnly);
        // A file that cannot be used now outweighs damage in the other: nothing is moved then.
        if (e && (!failure || failure->kind() == Kind::Damaged))
            failure = e;
    }
    if (!failure) {
        m_access = readOnly ? Access::ReadOnly : Access::Writable;
        return readOnly ? Opened{m_access, false, {}, {}} : removeOrphans();
    }
    m_vali.close();
    m_valiC.close();
    if (failure->kind() != Kind::Damaged || readOnly)
        return unavailable(*failure);
    return moveAside(*failure);
}

ValidationRegistry::Opened ValidationRegistry::removeOrphans()
{
    // A returned ticket of a card that is not validated would already count as
    // returned once the card is: it goes, as the cascade would have taken it.
    QSet<QString> cards;
    for (int r = 0; r < m_vali.recordCount(); ++r)
        cards.insert(m_vali.rowAt(r)[0].toString() + QLatin1Char('-') + m_vali.rowAt(r)[1].toString());
    QStringList english, portuguese;
    try {
        Dataset::Batch tickets(m_valiC);
        m_valiC.first();
        while (!m_valiC.isEmpty() && !m_valiC.eof()) {
            const QString serie = m_valiC.asString(kSerie);
            const int card = m_valiC.asInteger(kCartela);
            if (cards.contains(serie + QLatin1Char('-') + QString::number(card))) {
                m_valiC.next();
                continue;
            }
            const int ticket = m_valiC.asInteger(kCartao);
            english << QStringLiteral("%1-%2 (card %3)").arg(serie).arg(ticket).arg(card);
            portuguese << QStringLiteral("série %1 cartão %2 (cartela %3)").arg(serie).arg(ticket).arg(card);
            m_valiC.deleteRecord();
        }
        tickets.commit();
    } catch (const DatasetError &e) {
        return unavailable(e);
    }
    if (english.isEmpty())
        return {m_access, false, {}, {}};
    constexpr int kListed = 20;
    const auto listed = [](QStringList items, const QString &more) {
        const qsizetype rest = items.size() - kListed;
        if (rest > 0)
            items = items.mid(0, kListed) << more.arg(rest);
        return items.join(QStringLiteral(", "));
    };
    return {m_access, false,
            QStringLiteral("returned tickets of cards that are not validated were removed: %1")
                .arg(listed(english, QStringLiteral("%1 more"))),
            QStringLiteral("Cartões devolvidos de cartelas que não estão validadas foram retirados do registro: %1.")
                .arg(listed(portuguese, QStringLiteral("mais %1")))};
}

ValidationRegistry::Opened ValidationRegistry::unavailable(const DatasetError &error)
{
    m_vali.close();
    m_valiC.close();
    m_access = Access::Unavailable;
    m_refusal = QStringLiteral("O registro de validação não pode ser usado agora. %1\n\nNada foi alterado. "
                               "Resolva a causa (feche o programa que usa o arquivo ou corrija a permissão "
                               "ou o espaço em disco) e abra de novo a validação.")
                    .arg(error.forOperator());
    return {m_access, false,
            QStringLiteral("the validation registry cannot be used now: %1; nothing was changed").arg(error.message()),
            m_refusal};
}

ValidationRegistry::Opened ValidationRegistry::moveAside(const DatasetError &damage)
{
    // The two files are one registry: both go aside under one stamp, so no
    // returned ticket outlives its card.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QStringList present;
    for (const char *name : {kValiFile, kValiCFile})
        if (WorkDir::exists(m_dir, QLatin1String(name)))
            present << QFileInfo(WorkDir::resolve(m_dir, QLatin1String(name))).fileName();
    QString suffix = QStringLiteral(".danificado-") + stamp;
    for (int n = 2; std::any_of(present.begin(), present.end(),
                                [&](const QString &f) { return WorkDir::exists(m_dir, f + suffix); });
         ++n)
        suffix = QStringLiteral(".danificado-%1-%2").arg(stamp).arg(n);
    QStringList moved;
    for (const QString &name : present) {
        const QDir dir(m_dir);
        if (::rename(QFile::encodeName(dir.filePath(name)).constData(),
                     QFile::encodeName(dir.filePath(name + suffix)).constData())
            != 0) {
            const int error = errno;
            for (const QString &back : moved)
                QFile::rename(dir.filePath(back + suffix), dir.filePath(back));
            return unavailable(DatasetError(
                QStringLiteral("%1 is damaged and could not be moved aside (%2)").arg(name, reasonEnglish(error)),
                Kind::Unavailable,
                QStringLiteral("O arquivo %1 está danificado e não pôde ser guardado com outro nome: %2.")
                    .arg(name, reasonPortuguese(error))));
        }
        moved << name;
    }
    const Opened fresh = open(false);
    if (fresh.access != Access::Writable)
        return fresh;
    QStringList asideNames;
    for (const QString &name : moved)
        asideNames << QLatin1Char('"') + name + suffix + QLatin1Char('"');
    return {m_access, true,
            QStringLiteral("the registry files were damaged (%1); they were kept as %2 and the registry starts empty")
                .arg(damage.message(), asideNames.join(QStringLiteral(" and "))),
            QStringLiteral("O registro de validação estava danificado e foi guardado como %1. "
                           "O registro começa vazio.\n\n(%2)")
                .arg(asideNames.join(QStringLiteral(" e ")), damage.message())};
}

ValidationRegistry::Opened ValidationRegistry::openLocked(Lock lock)
{
    if (lock == Lock::Taken)
        return open(false);
    Opened opened = open(true);
    if (opened.access != Access::ReadOnly)
        return opened;
    const QString tail = QStringLiteral(" Ele foi aberto só para consulta: nenhuma validação pode ser feita.");
    switch (lock) {
    case Lock::HeldByProgram:
        m_refusal = QStringLiteral("O registro de validação desta pasta está aberto em outro Bolaris (processo %1).")
                        .arg(m_lockHolder) + tail;
        break;
    case Lock::HeldByTool:
        m_refusal = QStringLiteral("O registro de validação desta pasta está sendo alterado pelo bolaris-cli "
                                   "(processo %1).")
                        .arg(m_lockHolder) + tail;
        break;
    default: {
        const int error = WorkDir::writableError(m_dir);
        m_refusal = QStringLiteral("A pasta de trabalho %1 não pode ser gravada: %2.")
                        .arg(QDir::toNativeSeparators(m_dir),
                             error ? reasonPortuguese(error)
                                   : QStringLiteral("o arquivo de trava não pôde ser criado"))
                    + tail;
        break;
    }
    }
    opened.portuguese = m_refusal;
    return opened;
}

ValidationRegistry::Opened ValidationRegistry::reopen()
{
    if (m_access == Access::Writable)
        return {m_access, false, {}, {}};
    m_vali.close();
    m_valiC.close();
    return openLocked(lock());
}

void ValidationRegistry::close()
{
    if (m_watch)
        m_watch->stop();
    m_vali.close();
    m_valiC.close();
    m_access = Access::Closed;
    if (m_lock && m_lock->isLocked())
        m_lock->unlock();
}

bool ValidationRegistry::writable(Prompter &prompter)
{
    if (m_access != Access::Writable && reopen().access != Access::Writable) {
        prompter.inform(kCaption, m_refusal, MessageIcon::Information);
        return false;
    }
    return true;
}

char ValidationRegistry::seriesLetter(const QString &seriesText, Prompter &prompter) const
{
    const QString trimmed = seriesText.trimmed();
    const char letter = trimmed.isEmpty() ? 0 : char(trimmed.at(0).unicode() < 128 ? trimmed.at(0).unicode() : 0);
    if (IsSeriesLetter(letter))
        return letter;
    prompter.inform(QStringLiteral("Número da série a emitir"), QStringLiteral("Série inválida. Corrija."),
                    MessageIcon::Information);
    return 0;
}

std::pair<int, int> ValidationRegistry::splitCardText(const QString &text)
{
    qsizetype p = text.left(20).indexOf(QLatin1Char('-')) + 1; // 1-based
    if (p == 0)
        p = 20;
    const int first = strictIntOrZero(QStringView(text).left(p - 1));
    const int last = p < text.size() ? strictIntOrZero(QStringView(text).mid(p, 25 - p)) : 0;
    return {first, last};
}

ValidationRegistry::CardEntry ValidationRegistry::SaiEnter(const QString &seriesText, const QString &cardText,
                                                           Prompter &prompter)
{
    if (cardText.isEmpty() || seriesText.isEmpty())
        return {};
    if (!writable(prompter))
        return {Outcome::Refused, 0};
    const char letter = seriesLetter(seriesText, prompter);
    if (!letter)
        return {Outcome::SeriesInvalid, 0};
    const QString serie(QLatin1Char{letter});
    auto [first, last] = splitCardText(cardText);
    if (first == 0)
        return {};
    if (last < first)
        last = first;
    const bool single = first == last;
    if (m_server)
        return serverCardEntry(serie, first, last, prompter);

    // A range that overlaps the sold cards only in part removes them only
    // when the operator says so: a range typed over an earlier one would
    // otherwise un-sell its common cards without a word.
    bool removeValidated = true;
    if (!single) {
        int validated = 0;
        const int top = std::min(last, kCardsPerSeries);
        for (int n = first; n <= top; ++n)
            validated += m_vali.locate(kValiKey, {serie, n}) ? 1 : 0;
        if (validated > 0 && validated < top - first + 1)
            removeValidated = askRemoveFromRange(validated, prompter);
    }

    // Returned tickets are committed before the cards they belong to.
    Dataset::Batch cards(m_vali);
    Dataset::Batch tickets(m_valiC);
    int lastAdded = 0;
    for (int n = first; n <= last; ++n) {
        if (n > kCardsPerSeries) {
            tickets.commit();
            cards.commit();
            return {Outcome::Stopped, lastAdded};
        }
        if (m_vali.locate(kValiKey, {serie, n})) {
            if (single ? prompter.ask(QStringLiteral("Exclusão de cartela"),
                                      QStringLiteral("Cartela já validada. Exclui da validação?"), false)
                       : removeValidated)
                m_vali.deleteRecord();
        } else {
            m_vali.append();
            m_vali.setValue(kSerie, serie);
            m_vali.setValue(kNumero, n);
            m_vali.post();
            lastAdded = n;
        }
    }
    tickets.commit();
    cards.commit();
    m_vali.last();
    return {Outcome::Done, lastAdded};
}

ValidationRegistry::Outcome ValidationRegistry::SaiEnterC(const QString &seriesText, const QString &ticketText,
                                                          Prompter &prompter)
{
    if (ticketText.isEmpty() || seriesText.isEmpty())
        return Outcome::Ignored;
    if (!writable(prompter))
        return Outcome::Refused;
    const char letter = seriesLetter(seriesText, prompter);
    if (!letter)
        return Outcome::SeriesInvalid;
    const QString serie(QLatin1Char{letter});
    const int ticket = strictIntOrZero(ticketText);
    if (ticket < 1 || ticket > kTicketsPerSeries)
        return Outcome::Refused;
    const int card = CardOfTicket(ticket);
    if (m_server)
        return serverTicketEntry(serie, ticket, prompter);
    if (!m_vali.locate(kValiKey, {serie, card})) {
        prompter.inform(QStringLiteral("Devolução de cartão"),
                        QStringLiteral("Cartela %1 não validada. Não há cartão a devolver.").arg(card),
                        MessageIcon::None);
        return Outcome::Refused;
    }
    if (m_valiC.locate(kValiCKey, {serie, ticket})) {
        if (prompter.ask(QStringLiteral("Exclusão de cartão"), QStringLiteral("Cartão já validado. Exclui da validação?"),
                         false))
            m_valiC.deleteRecord();
    } else {
        m_valiC.append();
        m_valiC.setValue(kSerie, serie);
        m_valiC.setValue(kCartao, ticket);
        m_valiC.setValue(kCartela, card);
        m_valiC.post();
    }
    return Outcome::Done;
}

bool ValidationRegistry::askRemoveFromRange(int validated, Prompter &prompter)
{
    return prompter.ask(
        QStringLiteral("Exclusão de cartela"),
        QStringLiteral("%1 cartelas deste intervalo já estão validadas. Exclui da validação?").arg(validated), false);
}

void ValidationRegistry::TableValiBeforeDelete(Dataset &vali)
{
    const QString serie = vali.asString(kSerie);
    const int card = vali.asInteger(kNumero);
    // The six tickets of a card stand together in the order by series and
    // ticket, starting at the card's first ticket.
    if (!m_valiC.findNearest({serie, TicketNumber(card, 1)}))
        return;
    while (!m_valiC.isEmpty() && !m_valiC.eof() && m_valiC.asString(kSerie) == serie &&
           m_valiC.asInteger(kCartela) == card)
        m_valiC.deleteRecord();
}

bool ValidationRegistry::ButtonInivalClick(Prompter &prompter)
{
    if (!writable(prompter))
        return false;
    if (!prompter.ask(QStringLiteral("Inicia validação"),
                      QStringLiteral("Quer mesmo cancelar todas as validacões existentes e iniciar o processo?"), false))
        return false;
    if (m_server)
        return serverReset(prompter);
    Dataset::Batch cards(m_vali);
    Dataset::Batch tickets(m_valiC);
    // Deleting every card runs the cascade for each, which removes every
    // returned ticket of a validated card; the tickets left after it go too.
    // Both datasets end empty, so each is emptied at once.
    m_valiC.deleteAll();
    m_vali.deleteAll();
    tickets.commit();
    cards.commit();
    return true;
}

} // namespace bolaris
