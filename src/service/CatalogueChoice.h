#pragma once

// Points the catalogue module at the catalogue of a program run without a
// window: the file of the data folder, or the shared database that
// --database or SETUP/DATABASE names. Such a program waits longer for a
// file another copy is changing.
namespace CatalogueChoice {

void useConfigured();

} // namespace CatalogueChoice
