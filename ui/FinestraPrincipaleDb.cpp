#include "ui/FinestraPrincipale.h"
#include "ui/Listbox.h"

namespace vantrix::ui {

// Connecting, listing and comparing: not wired in yet.
void FinestraPrincipale::BevelButton1_Action() {}
void FinestraPrincipale::BevelButton2_Action() {}
void FinestraPrincipale::DB1Type_Change() {}
void FinestraPrincipale::DB2Type_Change() {}
void FinestraPrincipale::DB1tables_Change() {}
void FinestraPrincipale::DB2tables_Change() {}
void FinestraPrincipale::BevelButton3_Action() {}
void FinestraPrincipale::DiffTables_Change() {}
void FinestraPrincipale::popolalistaLOC(db::RecordSet& /*records*/, Listbox& /*list*/) {}
bool FinestraPrincipale::PreControlloTabelle(int /*row*/) { return false; }
void FinestraPrincipale::ControlloTabelle() {}

}  // namespace vantrix::ui
