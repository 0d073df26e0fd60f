// A library that the fake scanner library depends on, never copied beside it.
int vistoramoMissingDependency()
{
    return 1;
}
