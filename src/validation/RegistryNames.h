#pragma once

#include <QString>

// The registry's field and index names and its boxes' caption, the same for
// the registry in files and the one on a server.
namespace bolaris::registrynames {

inline const QString kSerie = QStringLiteral("Serie");
inline const QString kNumero = QStringLiteral("Numero");
inline const QString kCartao = QStringLiteral("Cartao");
inline const QString kCartela = QStringLiteral("Cartela");
inline const QString kValiKey = QStringLiteral("Serie;Numero");
inline const QString kValiCKey = QStringLiteral("Serie;Cartao");
inline const QString kCaption = QStringLiteral("Validação de cartelas");

} // namespace bolaris::registrynames
