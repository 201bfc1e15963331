#include "OrnLanguageResManager.h"

#include "OrnLangResource.h"

OrnLanguageResManager::OrnLanguageResManager(HINSTANCE module)
    : m_previous(OrnResSetThreadModule(module)) {}

OrnLanguageResManager::~OrnLanguageResManager() { OrnResSetThreadModule(m_previous); }
