#pragma once
// The card query: federation, club and a range of member codes in the
// shared selection values, then their record cards.
void UpitCLANOVI();
