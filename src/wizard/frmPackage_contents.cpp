// Pages 2 to 4: the pack contents tree and the two registration lists.
#include "frmPackage.h"

void frmPackage::StyleTreeViews() {}
void frmPackage::cmdAddFile_Click() {}
void frmPackage::cmdAddFolder_Click() {}
void frmPackage::cmdRemove_Click() {}
void frmPackage::mnuPopFilesRemove_Click() {}
void frmPackage::mnuPopFoldersRemove_Click() {}
