#pragma once

class View;

// Gives the file named in Edit1 the length OutputSize: cuts it, extends it
// with zero bytes, or creates it. The outcome goes to the status text.
void E1Click(View& form);
