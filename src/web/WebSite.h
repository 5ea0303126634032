#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUrl>

#include <memory>
#include <string>
#include <vector>

namespace bolaris {

class CartelaTable;

// One answer of the hall's web page.
struct WebReply {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    bool operator==(const WebReply &) const = default;
};

// What the hall's phones and TVs may ask for, answered without any network:
// the page and its files (from the program's resources only), the draw's state
// as JSON and the printed numbers of one card. Nothing else is reachable.
class WebSite {
public:
    // The card texts as they were when serving started; a card's numbers are
    // all a player can read of it.
    explicit WebSite(std::shared_ptr<const std::vector<std::string>> cards = {});
    static std::shared_ptr<const std::vector<std::string>> snapshot(const CartelaTable &cards);

    void setState(const QByteArray &json) { m_state = json; }
    const QByteArray &state() const { return m_state; }

    // The answer to one request; HEAD is answered like GET (the server drops the body).
    WebReply reply(QByteArrayView method, const QUrl &url) const;

    // {"serie", "numero", "cartoes": [{"cartao", "linhas": [[9 numbers, 0 where empty] x 3]}]}, or empty
    // when there is no such card.
    QByteArray cardJson(const QString &series, const QString &number) const;

    static constexpr const char *kLivePath = "/ao-vivo";

private:
    std::shared_ptr<const std::vector<std::string>> m_cards;
    QByteArray m_state = "{}";
};

} // namespace bolaris
