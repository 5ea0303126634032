// The registry's rules against a server: each entry is decided and committed
// there, then the in-memory copy is brought in line with what the server did.

#include "RegistryNames.h"
#include "RegistryWatch.h"
#include "ServerRegistry.h"
#include "ValidationRegistry.h"

#include "cards/UnitCart.h"
#include "ui/Prompter.h"

#include <QSet>

#include <algorithm>

namespace bolaris {

namespace {

using namespace registrynames;

QString key(const QString &serie, int number) { return serie + QString::number(number); }

} // namespace

ValidationRegistry::Opened ValidationRegistry::openServer()
{
    // The copy lives in memory only: the server is the registry.
    for (Dataset *d : {&m_vali, &m_valiC}) {
        d->close();
        d->setDirectory({});
        d->setFileName({});
        d->setDurable(false);
        d->setReadOnly(false);
        d->clearFieldDefs();
        d->addFieldDef(kSerie, FieldType::String, 1);
    }
    m_vali.addFieldDef(kNumero, FieldType::Integer);
    m_valiC.addFieldDef(kCartao, FieldType::Integer);
    m_valiC.addFieldDef(kCartela, FieldType::Integer);
    m_vali.setIndexFieldNames(kValiKey);
    m_valiC.setIndexFieldNames(kValiCKey);
    m_vali.createDataset();
    m_valiC.createDataset();
    m_vali.addIndex(QStringLiteral("Validadas"), kValiKey, Dataset::Primary | Dataset::Unique);
    m_valiC.addIndex(QStringLiteral("Cartoes"), kValiCKey, Dataset::Primary | Dataset::Unique);
    // From here on the watch's thread follows the server: the other desks'
    // sales, and a server that is lost and back.
    if (m_following)
        m_watch->start();
    try {
        m_server->connectToServer();
        applyServerContent(m_server->read(), RegistryWatch::clock());
    } catch (const DatasetError &e) {
        // The copy stays open and empty: it fills when the watch reads the server.
        m_access = Access::Unavailable;
        m_refusal = e.forOperator();
        return {m_access, false, e.message(), m_refusal};
    }
    m_access = Access::Writable;
    return {m_access, false, {}, {}};
}

void ValidationRegistry::mirrorCard(const QString &serie, int card, bool present)
{
    const bool there = m_vali.locate(kValiKey, {serie, card});
    if (there && !present) {
        m_vali.deleteRecord(); // the cascade removes the copy's tickets, as the server did
    } else if (!there && present) {
        m_vali.append();
        m_vali.setValue(kSerie, serie);
        m_vali.setValue(kNumero, card);
        m_vali.post();
    }
}

void ValidationRegistry::mirrorTicket(const QString &serie, int ticket, bool present)
{
    const bool there = m_valiC.locate(kValiCKey, {serie, ticket});
    if (there && !present) {
        m_valiC.deleteRecord();
    } else if (!there && present) {
        m_valiC.append();
        m_valiC.setValue(kSerie, serie);
        m_valiC.setValue(kCartao, ticket);
        m_valiC.setValue(kCartela, CardOfTicket(ticket));
        m_valiC.post();
    }
}

void ValidationRegistry::entered()
{
    // The copy has the entry; the watch need not read it back, and a reading
    // begun before it is older than the copy.
    m_lastEntryAt = RegistryWatch::clock();
    m_watch->ignoreSession(m_server->backendPid());
}

void ValidationRegistry::applyServerContent(const ServerRegistry::Content &content, qint64 startedAt)
{
    // A reading begun before this desk's last entry may lack it; the entry's
    // own notice brings a newer one.
    if (!m_vali.isOpen() || !m_valiC.isOpen())
        return;
    if (startedAt < m_lastEntryAt) {
        m_watch->refresh();
        return;
    }
    QSet<QString> cards, tickets;
    for (const auto &[serie, card] : content.cards)
        cards.insert(key(serie, card));
    for (const ServerRegistry::Ticket &t : content.tickets)
        tickets.insert(key(t.serie, t.cartao));
    const int valiPos = m_vali.recNo();
    for (int r = m_valiC.recordCount() - 1; r >= 0; --r)
        if (!tickets.contains(key(m_valiC.rowAt(r)[0].toString(), m_valiC.rowAt(r)[1].toInt()))) {
            m_valiC.setRecNo(r);
            m_valiC.deleteRecord();
        }
    for (int r = m_vali.recordCount() - 1; r >= 0; --r)
        if (!cards.contains(key(m_vali.rowAt(r)[0].toString(), m_vali.rowAt(r)[1].toInt()))) {
            m_vali.setRecNo(r);
            m_vali.deleteRecord();
        }
    for (const auto &[serie, card] : content.cards)
        mirrorCard(serie, card, true);
    for (const ServerRegistry::Ticket &t : content.tickets)
        mirrorTicket(t.serie, t.cartao, true);
    if (!m_vali.isEmpty())
        m_vali.setRecNo(std::clamp(valiPos, 0, m_vali.recordCount() - 1));
}

ValidationRegistry::CardEntry ValidationRegistry::serverCardEntry(const QString &serie, int first, int last,
                                                                  Prompter &prompter)
{
    const int top = std::min(last, kCardsPerSeries);
    int lastAdded = 0;
    try {
        if (first == last && first <= kCardsPerSeries) {
            if (m_server->addCard(serie, first)) {
                lastAdded = first;
                mirrorCard(serie, first, true);
            } else {
                mirrorCard(serie, first, true); // another desk may have entered it just now
                if (prompter.ask(QStringLiteral("Exclusão de cartela"),
                                 QStringLiteral("Cartela já validada. Exclui da validação?"), false)) {
                    m_server->removeCard(serie, first);
                    mirrorCard(serie, first, false);
                }
            }
        } else if (first <= top) {
            const int validated = m_server->countCards(serie, first, top);
            const bool removeValidated =
                validated == 0 || validated == top - first + 1 || askRemoveFromRange(validated, prompter);
            for (const auto &[card, added] : m_server->toggleCards(serie, first, top, removeValidated)) {
                mirrorCard(serie, card, added);
                if (added)
                    lastAdded = std::max(lastAdded, card);
            }
        }
    } catch (const DatasetError &e) {
        m_lastEntryAt = RegistryWatch::clock();
        prompter.inform(kCaption, e.forOperator(), MessageIcon::Information);
        return {Outcome::Refused, 0};
    }
    entered();
    if (last > kCardsPerSeries)
        return {Outcome::Stopped, lastAdded};
    m_vali.last();
    return {Outcome::Done, lastAdded};
}

ValidationRegistry::Outcome ValidationRegistry::serverTicketEntry(const QString &serie, int ticket,
                                                                  Prompter &prompter)
{
    const int card = CardOfTicket(ticket);
    try {
        switch (m_server->addTicket(serie, ticket)) {
        case ServerRegistry::TicketResult::Added:
            mirrorTicket(serie, ticket, true);
            break;
        case ServerRegistry::TicketResult::CardMissing:
            mirrorCard(serie, card, false); // another desk may have removed it
            prompter.inform(QStringLiteral("Devolução de cartão"),
                            QStringLiteral("Cartela %1 não validada. Não há cartão a devolver.").arg(card),
                            MessageIcon::None);
            return Outcome::Refused;
        case ServerRegistry::TicketResult::AlreadyThere:
            mirrorTicket(serie, ticket, true);
            if (prompter.ask(QStringLiteral("Exclusão de cartão"),
                             QStringLiteral("Cartão já validado. Exclui da validação?"), true)) {
                m_server->removeTicket(serie, ticket);
                mirrorTicket(serie, ticket, false);
            }
            break;
        }
    } catch (const DatasetError &e) {
        m_lastEntryAt = RegistryWatch::clock();
        prompter.inform(kCaption, e.forOperator(), MessageIcon::Information);
        return Outcome::Refused;
    }
    entered();
    return Outcome::Done;
}

bool ValidationRegistry::serverReset(Prompter &prompter)
{
    try {
        m_server->clear();
    } catch (const DatasetError &e) {
        prompter.inform(kCaption, e.forOperator(), MessageIcon::Information);
        return false;
    }
    entered();
    while (!m_vali.isEmpty()) {
        m_vali.first();
        m_vali.deleteRecord();
    }
    while (!m_valiC.isEmpty()) {
        m_valiC.first();
        m_valiC.deleteRecord();
    }
    return true;
}

} // namespace bolaris
