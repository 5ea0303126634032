#pragma once

class QCoreApplication;

namespace bolaris {

// Qt's own texts (the file, colour and print dialogs, the Yes and No of the
// program's questions) in Portuguese whatever the system's language. Qt's
// Brazilian catalogue comes first: it speaks as the program does ("arquivo",
// "Salvar"), where the older European one says "ficheiro" and "Gravar"; the
// European one is kept for what the Brazilian one lacks.
// Returns how many catalogues were found; without any, Qt speaks English.
int installQtTranslations(QCoreApplication &app);

} // namespace bolaris
