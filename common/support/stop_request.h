// A request, from outside the job that is running, that it stop: sfxtool's handlers of Ctrl-C
// and of termination and hang-up signals set it. The engine is not stopped where it stands but
// looks at the request where every one of its loops passes, in File::read, File::write and
// replaceFile (file_io.h): once it is set they fail as a failing disk fails them (EINTR,
// ERROR_OPERATION_ABORTED), so a writer or reader ends the way any failed run ends and removes
// what it made, and a finished archive is not moved into place; an extraction's commit does not
// begin, or undoes what it began (extraction_commit.h). Nothing ever clears it: a process asked
// to stop runs no second job.
#pragma once

// Sets the request with `reason` (a signal number, or what the front end chooses; not 0). Safe
// to call from a signal handler or another thread; the first reason stays.
void requestStop(int reason);

// 0 while no stop has been asked for, else the reason given.
int stopRequest();
