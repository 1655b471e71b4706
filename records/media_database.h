// The media-database statement run through the maker's database library.
#pragma once

// Sets the private flag of every media item whose server identifier is not
// '1' to 0, in one transaction, through qvldb.dll of the shared component
// folder. Returns the result of the last library call made: false when the
// library cannot be loaded or the object not created.
bool UpdateMediaDatabase();
