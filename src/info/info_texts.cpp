#include "info/info_texts.h"

namespace info {

QStringList englishPieces()
{
    return {
        QStringLiteral("This program has a simply usefull function as utility. It reproduces all multimedia files as "
                       "presented in a directory, and remebers the"),
        QStringLiteral(" last directory and the last file reproduced, so when it's executed again, starts back again "
                       "from the same point. This charateristic is very usefull"),
        QStringLiteral(" to those that keep many different multimedia files in a same directory or disk"),
        QStringLiteral(" and would like to reproduce them all, without missing any. It's also usefull to those who "
                       "like to watch long"),
        QStringLiteral(" movies or like to hear long mixed music files or speeches. Infact"),
        QStringLiteral(" the user won't have to remember again on which point he had terminated"),
        QStringLiteral(" last time his multimedia file reproduction."),
        QStringLiteral(" There is also another quite interesting function in this program. Infact, it can reproduce in "
                       "Preview Mode just some seconds of every file and not all of it."),
    };
}

QStringList greekPieces()
{
    return {
        QStringLiteral("Το πρόγραμμα αυτό παρουσιάζει μια απλή ιδιατερότητα. Αναπαράγει όλα τα πολυμεσικά αρχεία το "
                       "ένα μετά το άλλο τυχαία ή σε σειρά, όπως βρίσκονται αποθηκευμένα σε κάποιο δίσκο, και θυμάται "
                       "τον τελευταίο φάκελλο και το τελευταίο αρχείο αναπαραγωγής"),
        QStringLiteral(" ώστε την επόμενη φορά που θα εκτελεστεί, να αρχίζει πάλι από το σημείο που είχε φτάσει όταν "
                       "χρησιμοποιήθηκε."),
        QStringLiteral(" Η ιδιαιτερότητα αυτή είναι πολύ χρήσιμη για φακέλλους που περιέχουν πολλά πολυμεσικά αρχεία ή "
                       "μεγάλες ταινίες, "),
        QStringLiteral(" μεγάλα μιξαρισμένα μουσικά κομμάτια ή ομιλίες, εφόσον ο χρήστης δεν χρειάζεται να θυμάται σε "
                       "ποιο σημείο είχε τερματίσει την αναπαραγωγή την τελευταία φορά χρήσης."),
        QStringLiteral(" Στην λειτουργία αυτή προστίθεται και η άκρως ενδιαφέρουσα λειτουργία της προεπισκόπησης, όπου "
                       "το πρόγραμμα αναπαράγει κάθε αρχείο για ορισμένα μόνο δευτερόλεπτα."),
    };
}

QString signature() { return QStringLiteral("Η ομάδα του Velloran - The Velloran team, 2007"); }

QString fullText(const QStringList &pieces)
{
    return pieces.join(QString()) + QStringLiteral("\r\n\r\n") + signature();
}

} // namespace info
