function dir = temp_folder()
  % A fresh folder under the temporary directory; the caller removes it.
  dir = tempname();
  mkdir(dir);
end
